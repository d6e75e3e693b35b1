// Output naming, folder creation and the WAVE writer of OutputSession.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "extraction_test_support.h"
#include "names/disc_database.h"
#include "names/disc_lookup.h"
#include "output/wave_writer.h"
#include "rip/extract_worker.h"
#include "rip/output_session.h"

namespace fs = std::filesystem;

namespace cadrix {
namespace {

using test::IsConsistentWave;
using test::LE32;
using test::MakeDisc;
using test::ReadWholeFile;
using test::TempFolder;

uint8_t Pattern(uint32_t frame, uint32_t offset) {
    return static_cast<uint8_t>(frame * 7 + offset * 13 + (offset >> 8));
}

// A stand-in for ReadCDAudioLBAEx: delivers every frame asked for.
int32_t ReadEverything(HCDROM, ReadBuffer* main, ReadBuffer*) {
    uint8_t* data = ReadBufferData(main);
    for (uint32_t f = 0; f < main->frameCount; ++f) {
        for (uint32_t i = 0; i < cadrix::cd::kFrameBytes; ++i)
            data[f * cadrix::cd::kFrameBytes + i] = Pattern(main->startFrame + f, i);
    }
    main->validBytes = main->frameCount * cadrix::cd::kFrameBytes;
    main->dataOffset = 0;
    return 1;
}

class NamingTest : public ::testing::Test {
protected:
    void SetUp() override {
        disc = MakeDisc({0, 100, 200, 300, 400, 500, 600, 700, 800, 900, 1000, 1100, 1200});
        disc.discArtist = "Band";
        disc.discTitle = "First Album";
        base = tmp.Path() + "/Music";
    }

    // Opens and closes track `track` as WAVE; returns the files created
    // below the base folder, relative to it.
    bool OpenClose(int track, const std::string& basePath) {
        session = std::make_unique<OutputSession>();
        if (!session->Init(basePath, disc, nullptr, 0, 0)) return false;
        session->currentTrack = track;
        const bool opened = session->OpenTrack();
        session->CloseTrack();
        return opened;
    }

    std::vector<std::string> FilesUnder(const std::string& root) {
        std::vector<std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), root).string());
        }
        std::sort(files.begin(), files.end());
        return files;
    }

    TempFolder tmp;
    std::array<DriveRecord, MAX_DRIVES> drives{};
    DriveRecord& disc = drives[0];
    std::string base;
    std::unique_ptr<OutputSession> session;
};

TEST(SanitizeName, ReplacesReservedControlAndHighBytesKeepingLength) {
    std::string text = "A/B: Live?";
    OutputSession::SanitizeName(text);
    EXPECT_EQ(text, "A_B_ Live_");
    text = "Caf\xe9";
    OutputSession::SanitizeName(text);
    EXPECT_EQ(text, "Caf_");
    text = "\\/|:*?\"<>";
    OutputSession::SanitizeName(text);
    EXPECT_EQ(text, "_________");
    text = std::string("a\0b\tc\x1f\x7f\x80\xff~ .", 12);
    OutputSession::SanitizeName(text);
    EXPECT_EQ(text, std::string("a_b_c_\x7f__~ .", 12));
}

TEST_F(NamingTest, TheExampleWithAndWithoutFinalSeparator) {
    disc.tracks[3].title = "Song?";
    for (const std::string& basePath : {base, base + "/"}) {
        ASSERT_TRUE(OpenClose(3, basePath)) << basePath;
        EXPECT_EQ(FilesUnder(base), std::vector<std::string>{"Band - First Album/03 - Song_.wav"});
    }
}

TEST_F(NamingTest, FolderNameRules) {
    disc.discArtist = "";
    ASSERT_TRUE(OpenClose(1, base));
    disc.discArtist = "Someone";
    disc.discTitle = "";
    disc.discId = 0x1a2b;
    ASSERT_TRUE(OpenClose(1, base));
    disc.discId = 0;
    ASSERT_TRUE(OpenClose(1, base));
    disc.discId = 0x8000000f;
    ASSERT_TRUE(OpenClose(1, base));
    disc.discTitle = "Vol...";
    ASSERT_TRUE(OpenClose(1, base));
    EXPECT_EQ(FilesUnder(base),
              (std::vector<std::string>{"First Album/01 - Untitled Track.wav", "Someone - Vol/01 - Untitled Track.wav",
                                        "Untitled Disc (0)/01 - Untitled Track.wav",
                                        "Untitled Disc (1a2b)/01 - Untitled Track.wav",
                                        "Untitled Disc (8000000f)/01 - Untitled Track.wav"}));
}

// A title of dots alone names no folder of its own: the disc is untitled,
// and its tracks never land in the base folder itself.
TEST_F(NamingTest, ATitleOfDotsAloneIsUntitled) {
    disc.discArtist = "";
    disc.discId = 0x1e00a004;
    for (const char* title : {".", "..", "...", ". ."}) {
        disc.discTitle = title;
        ASSERT_TRUE(OpenClose(1, base)) << title;
    }
    EXPECT_EQ(FilesUnder(base), std::vector<std::string>{"Untitled Disc (1e00a004)/01 - Untitled Track.wav"});
}

// Names a service gives may be 255 bytes each: as saved, they still make a
// folder and file names a rip can create under a base folder of 64 bytes,
// cut on a character boundary. The suite's own texts stay as typed.
TEST_F(NamingTest, SavedNamesFromAServiceAlwaysNameARippableFolder) {
    std::string accents;
    while (accents.size() < 254) accents += "\xc3\xa9";
    ReleaseCandidate release;
    release.source = "MusicBrainz";
    release.names.artist = accents + "x";
    release.names.title = std::string(255, 't');
    release.names.tracks[1] = {std::string(255, 'a'), "y" + accents};  // a compilation
    disc.discId = 0x1e00a004;
    std::string path;
    ASSERT_EQ(SaveRelease(release, MakeDiscQuery(disc), tmp.Path() + "/own/", "", path), SaveOutcome::Written);
    ClearNames(disc);
    ASSERT_TRUE(ReadDiscDatabase(tmp.Path() + "/own/", disc));
    for (const auto& [kept, given] : {std::pair{disc.discArtist, release.names.artist},
                                      {disc.discTitle, release.names.title},
                                      {disc.tracks[1].title, release.names.tracks[1].title}}) {
        EXPECT_TRUE(given.starts_with(kept) && !kept.empty() && CleanText(kept) == kept) << kept;
    }
    const std::string base64 = tmp.Path() + "/" + std::string(62 - tmp.Path().size(), 'b') + "/";
    ASSERT_EQ(base64.size(), 64u);
    ASSERT_TRUE(OpenClose(1, base64));
    EXPECT_EQ(FilesUnder(base64).size(), 1u);

    ClearNames(disc);
    fs::create_directories(tmp.Path() + "/suite");
    std::ofstream(tmp.Path() + "/suite/1e00a004.cdb") << "DARTIST=" << release.names.artist << "\n";
    ASSERT_TRUE(ReadDiscDatabase(tmp.Path() + "/suite/", disc));
    EXPECT_EQ(disc.discArtist, release.names.artist);
}

TEST_F(NamingTest, FileNameRules) {
    disc.tracks[5].title = "Wait...";
    disc.tracks[7].title = "Seven";
    disc.tracks[12].title = "Twelve";
    disc.tracks[12].artist = "Not used";  // not a compilation
    for (int t : {5, 7, 12}) ASSERT_TRUE(OpenClose(t, base));
    disc.discTitle = "Mix";
    disc.compilation = 1;
    disc.tracks[1].artist = "Guest";
    disc.tracks[1].title = "Hit";
    disc.tracks[2].title = "No Artist";
    disc.tracks[3].artist = "Guest";  // no title: the artist is not used either
    for (int t : {1, 2, 3}) ASSERT_TRUE(OpenClose(t, base));
    EXPECT_EQ(FilesUnder(base), (std::vector<std::string>{
                                    "Band - First Album/05 - Wait.wav",
                                    "Band - First Album/07 - Seven.wav",
                                    "Band - First Album/12 - Twelve.wav",
                                    "Band - Mix/01 - Guest - Hit.wav",
                                    "Band - Mix/02 - No Artist.wav",
                                    "Band - Mix/03 - Untitled Track.wav",
                                }));
}

TEST_F(NamingTest, FolderPathLimitIs244Bytes) {
    const std::string basePath = base + "/";
    disc.discArtist = "";
    disc.discTitle = std::string(244 - basePath.size(), 'x');
    ASSERT_TRUE(OpenClose(1, basePath));
    EXPECT_TRUE(fs::is_directory(basePath + disc.discTitle));

    disc.discTitle = std::string(245 - basePath.size(), 'y');
    EXPECT_FALSE(OpenClose(1, basePath));
    EXPECT_FALSE(fs::exists(basePath + disc.discTitle));
}

TEST_F(NamingTest, FilePathIsCutTo256BytesBeforeTheExtension) {
    disc.tracks[1].title = std::string(300, 'a');
    ASSERT_TRUE(OpenClose(1, base));
    const auto files = FilesUnder(base);
    ASSERT_EQ(files.size(), 1u);
    const std::string full = base + "/" + files[0];
    EXPECT_EQ(full.size(), 260u);
    EXPECT_EQ(full.substr(256), ".wav");

    // A cut that ends on dots loses them too.
    disc.tracks[2].title = std::string(300, '.');
    ASSERT_TRUE(OpenClose(2, base));
    EXPECT_TRUE(fs::exists(base + "/Band - First Album/02 - .wav"));
}

TEST_F(NamingTest, NameComponentStaysWithinTheFileSystemLimit) {
    // A short base leaves room for a 256-byte path whose last component
    // would exceed 255 bytes once ".wav" is added.
    OutputSession paths;
    ASSERT_TRUE(paths.Init("/b", disc, nullptr, 0, 0));
    disc.discArtist = "";
    disc.discTitle = "D";
    disc.tracks[1].title = std::string(300, 't');
    paths.currentTrack = 1;
    std::string folder, file;
    ASSERT_TRUE(paths.BuildTrackPaths(folder, file));
    EXPECT_EQ(folder, "/b/D");
    EXPECT_EQ(file.size() - folder.size() - 1, 250u);  // room for ".flac"
}

TEST_F(NamingTest, HostileTextsStayInsideTheBaseFolder) {
    const std::vector<std::pair<std::string, std::string>> hostile = {
        {"..", ""},      {".", "."},         {"", ".."},      {"../..", "/etc"},
        {"..\\..", "x"}, {"\x01\x02", "\n"}, {"...", "...."}, {"~", "../../escape"},
    };
    fs::create_directory(base);
    int track = 1;
    for (const auto& [artist, title] : hostile) {
        disc.discArtist = artist;
        disc.discTitle = title;
        disc.tracks[static_cast<size_t>(track)].title = "../../../" + title + "/..";
        ASSERT_TRUE(OpenClose(track, base)) << artist << " | " << title;
        ++track;
    }
    // Nothing but the base folder appeared beside it, and every file created
    // resolves to a path inside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp.Path()), fs::directory_iterator()), 1);
    const auto files = FilesUnder(base);
    EXPECT_EQ(files.size(), hostile.size());
    const std::string canonicalBase = fs::canonical(base).string() + "/";
    for (const auto& file : files) {
        EXPECT_EQ(fs::canonical(base + "/" + file).string().rfind(canonicalBase, 0), 0u) << file;
    }
}

TEST_F(NamingTest, RandomTextsNeverLeaveTheDiscFolder) {
    // Texts of random bytes, biased towards dots, separators and blanks.
    std::mt19937 random(2024);
    const std::string alphabet = "..../\\ -_aZ\x01\x80\xff";
    auto text = [&] {
        std::string t(random() % 300, ' ');
        for (char& c : t) {
            c = random() % 2 ? alphabet[random() % alphabet.size()] : static_cast<char>(random());
        }
        return t;
    };
    OutputSession paths;
    ASSERT_TRUE(paths.Init(base, disc, nullptr, 0, 0));
    for (int i = 0; i < 3000; ++i) {
        disc.discArtist = text();
        disc.discTitle = text();
        disc.compilation = static_cast<int32_t>(random() % 2);
        paths.currentTrack = static_cast<int32_t>(1 + random() % 12);
        disc.tracks[static_cast<size_t>(paths.currentTrack)].artist = text();
        disc.tracks[static_cast<size_t>(paths.currentTrack)].title = text();
        std::string folder, file;
        if (!paths.BuildTrackPaths(folder, file)) continue;  // folder path over 244 bytes
        EXPECT_LE(folder.size(), 244u);
        ASSERT_EQ(folder.rfind(base + "/", 0), 0u) << folder;
        ASSERT_EQ(file.rfind(folder + "/", 0), 0u) << file;
        const std::string folderName = folder.substr(base.size() + 1);
        const std::string fileName = file.substr(folder.size() + 1);
        EXPECT_EQ(folderName.find('/'), std::string::npos);
        EXPECT_NE(folderName, ".");
        EXPECT_NE(folderName, "..");
        EXPECT_EQ(fileName.find('/'), std::string::npos);
        EXPECT_LE(fileName.size() + 5, 255u);
        EXPECT_LE(file.size(), 256u);
        EXPECT_NE(file.back(), '.');
    }
}

TEST_F(NamingTest, BaseFolderIsCreatedOneLevelOnly) {
    EXPECT_TRUE(OpenClose(1, base));  // base missing, its parent there
    EXPECT_TRUE(fs::is_directory(base));
    EXPECT_FALSE(OpenClose(1, tmp.Path() + "/missing/deeper"));
    EXPECT_FALSE(fs::exists(tmp.Path() + "/missing"));
    std::ofstream(tmp.Path() + "/plainfile") << "x";
    EXPECT_FALSE(OpenClose(1, tmp.Path() + "/plainfile"));
}

TEST_F(NamingTest, TrackNumbersOutsideTheSlotsAreRefused) {
    for (int track : {0, -1, TRACK_SLOTS}) {
        EXPECT_FALSE(OpenClose(track, base)) << track;
    }
    EXPECT_FALSE(fs::exists(base));
}

TEST_F(NamingTest, CurrentDirectoryIsNeverChanged) {
    const fs::path before = fs::current_path();
    disc.tracks[1].title = "One";
    ASSERT_TRUE(OpenClose(1, base));
    EXPECT_TRUE(fs::exists(base + "/Band - First Album/01 - One.wav"));
    EXPECT_EQ(fs::current_path(), before);
}

TEST_F(NamingTest, InitRefusesEmptyBaseAndMissingPlugin) {
    OutputSession s;
    EXPECT_FALSE(s.Init("", disc, nullptr, 0, 0));
    EXPECT_FALSE(s.Init(base, disc, nullptr, 2, 5));  // plug-in format without module
    EXPECT_EQ(s.LastError(), "the plug-in cadrix_wma.so is not loaded");
    ASSERT_TRUE(s.Init(base, disc, nullptr, 0, 0));
    std::string folder;
    ASSERT_TRUE(s.BuildFolderPath(folder));
    EXPECT_EQ(folder, base + "/Band - First Album");
    EXPECT_EQ(s.readBuffer->capacity, READ_CAPACITY);
}

TEST_F(NamingTest, EveryFailedOpenSaysWhy) {
    std::ofstream(tmp.Path() + "/plainfile") << "x";
    EXPECT_FALSE(OpenClose(1, tmp.Path() + "/plainfile"));
    EXPECT_EQ(session->LastError(), "cannot create the folder '" + tmp.Path() + "/plainfile': Not a directory");
    fs::create_directories(base + "/Band - First Album/01 - Untitled Track.wav");
    EXPECT_FALSE(OpenClose(1, base));
    EXPECT_EQ(session->LastError(),
              "cannot create '" + base + "/Band - First Album/01 - Untitled Track.wav': Is a directory");
}

// ---- WAVE writer ----

class WaveTest : public NamingTest {
protected:
    std::string Open(int track) {
        session = std::make_unique<OutputSession>();
        EXPECT_TRUE(session->Init(base, disc, nullptr, 0, 0));
        session->currentTrack = track;
        EXPECT_TRUE(session->OpenTrack());
        std::string folder, file;
        session->BuildTrackPaths(folder, file);
        return file + ".wav";
    }
    bool Deliver(uint32_t bytes, int32_t offset = 0, uint8_t seed = 0) {
        ReadBuffer* rb = session->readBuffer;
        for (uint32_t i = 0; i < bytes && offset >= 0 && offset + i < READ_CAPACITY; ++i) {
            ReadBufferData(rb)[offset + i] = static_cast<uint8_t>(seed + i * 31);
        }
        rb->validBytes = bytes;
        rb->dataOffset = offset;
        return session->WriteBlock();
    }
};

TEST_F(WaveTest, HeaderFieldsAndDataAfterClose) {
    const std::string path = Open(1);
    ASSERT_TRUE(Deliver(READ_CAPACITY, 0, 1));
    ASSERT_TRUE(Deliver(4 * cadrix::cd::kFrameBytes, 1000, 2));  // valid bytes start at the offset
    EXPECT_EQ(session->trackBytesWritten, READ_CAPACITY + 4 * cadrix::cd::kFrameBytes);
    EXPECT_TRUE(session->CloseTrack());

    const auto bytes = ReadWholeFile(path);
    const uint32_t n = READ_CAPACITY + 4 * cadrix::cd::kFrameBytes;
    ASSERT_EQ(bytes.size(), 44 + n);
    const auto expected = BuildWaveHeader(n);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), bytes.begin()));
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(std::string(bytes.begin() + 36, bytes.begin() + 40), "data");
    EXPECT_EQ(LE32(bytes, 4), n + 36);
    EXPECT_EQ(LE32(bytes, 16), 16u);
    EXPECT_EQ(bytes[20] | bytes[21] << 8, 1);
    EXPECT_EQ(bytes[22] | bytes[23] << 8, 2);
    EXPECT_EQ(LE32(bytes, 24), 44100u);
    EXPECT_EQ(LE32(bytes, 28), 176400u);
    EXPECT_EQ(bytes[32] | bytes[33] << 8, 4);
    EXPECT_EQ(bytes[34] | bytes[35] << 8, 16);
    EXPECT_EQ(LE32(bytes, 40), n);
    EXPECT_EQ(bytes[44], 1);
    EXPECT_EQ(bytes[44 + READ_CAPACITY], 2);
    EXPECT_EQ(bytes[44 + READ_CAPACITY + 1], static_cast<uint8_t>(2 + 31));
}

TEST_F(WaveTest, TrackWithoutBlocksIsA44ByteFile) {
    const std::string path = Open(2);
    session->CloseTrack();
    const auto bytes = ReadWholeFile(path);
    ASSERT_EQ(bytes.size(), 44u);
    EXPECT_EQ(LE32(bytes, 4), 36u);
    EXPECT_EQ(LE32(bytes, 40), 0u);
}

TEST_F(WaveTest, ExistingFileIsOverwritten) {
    fs::create_directories(base + "/Band - First Album");
    const std::string path = base + "/Band - First Album/03 - Untitled Track.wav";
    std::ofstream(path) << std::string(100000, 'z');
    EXPECT_EQ(Open(3), path);
    ASSERT_TRUE(Deliver(8));
    session->CloseTrack();
    const auto bytes = ReadWholeFile(path);
    EXPECT_EQ(bytes.size(), 52u);
    EXPECT_TRUE(IsConsistentWave(bytes));
}

TEST_F(WaveTest, ValidBytesOutsideTheDataAreaAreRefused) {
    const std::string path = Open(1);
    EXPECT_FALSE(Deliver(16, -1));
    EXPECT_FALSE(Deliver(READ_CAPACITY, 1));
    EXPECT_FALSE(Deliver(0xFFFFFFF0u, 0));
    EXPECT_EQ(session->trackBytesWritten, 0u);
    EXPECT_EQ(session->totalBytesWritten, 0u);
    session->CloseTrack();
    EXPECT_EQ(ReadWholeFile(path).size(), 44u);
}

TEST_F(WaveTest, AHeaderThatDoesNotFitLeavesNoFile) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    const std::string folder = base + "/Band - First Album";
    fs::create_directories(folder);
    fs::create_symlink("/dev/full", folder + "/01 - Untitled Track.wav");
    session = std::make_unique<OutputSession>();
    ASSERT_TRUE(session->Init(base, disc, nullptr, 0, 0));
    session->currentTrack = 1;
    EXPECT_FALSE(session->OpenTrack());
    EXPECT_EQ(session->LastError(), "cannot write '" + folder + "/01 - Untitled Track.wav': No space left on device");
    EXPECT_FALSE(fs::exists(fs::symlink_status(folder + "/01 - Untitled Track.wav")));
}

// A disk that fills up in the middle of a track (modelled by a file size
// limit in a child process): the block that does not fit fails the track,
// and the file is left as a WAVE of exactly the blocks counted.
TEST_F(WaveTest, DiskFullMidTrackGivesConsistentFileAndFailedTrack) {
    disc = MakeDisc({0, 135});  // 5 blocks
    disc.discTitle = "Full";
    const std::string path = base + "/Full/01 - Untitled Track.wav";
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{44 + 2 * READ_CAPACITY + 1000, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &limit);
        int code = 10;
        {
            OutputSession s;
            if (s.Init(base, disc, nullptr, 0, 0)) {
                s.readAudio = &ReadEverything;
                if (SelectNextTrack(s)) {
                    s.running = 1;
                    ExtractThreadProc(s);
                    const bool failed = JudgeFinishedTrack(s) == TrackVerdict::ShortFailed;
                    code = failed && s.framesDone == 2 * BLOCK_FRAMES && s.trackBytesWritten == 2 * READ_CAPACITY &&
                                   s.running == 0
                               ? 0
                               : 11;
                }
            }
        }
        _exit(code);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const auto bytes = ReadWholeFile(path);
    EXPECT_EQ(bytes.size(), 44 + 2 * READ_CAPACITY);
    EXPECT_TRUE(IsConsistentWave(bytes));
    EXPECT_EQ(bytes[44 + READ_CAPACITY], Pattern(27, 0));
}

}  // namespace
}  // namespace cadrix
