// An archival rip: a disc with hidden track one audio, stored and PREGAP
// pregaps, INDEX 02 points, a pre-emphasised track, ISRCs and a catalog
// number, read through a virtual drive (the sheet) and through an emulated
// drive (the Q sub-channel). The image is the reference; cdrdao reading the
// emulated drive is a second, independent one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cdrdao_toc.h"
#include "disc_generator.h"
#include "disc_image.h"
#include "file_bytes.h"
#include "run_program.h"
#include "temp_dir.h"
#include "virtual_drive.h"

namespace cadrix {
namespace {

namespace dg = discgen;
namespace fs = std::filesystem;

// Everything the sub-channel carries, and audio before track 1's INDEX 01.
dg::DiscDescription ArchivalDisc() {
    dg::DiscDescription disc = dg::AudioDisc({600, 450, 525, 700}, 22);
    disc.mcn = "0724384960629";
    disc.tracks[0].indexZeroFrames = 300;  // hidden track one audio
    disc.tracks[0].isrc = "DEA123400001";
    disc.tracks[0].index2Frames = 120;
    disc.tracks[1].indexZeroFrames = 150;
    disc.tracks[2].pregapFrames = 75;
    disc.tracks[2].preEmphasis = true;
    disc.tracks[2].isrc = "USRC17607839";
    disc.tracks[2].index2Frames = 200;
    disc.tracks[3].indexZeroFrames = 40;
    return disc;
}

// One track's facts as a line of cadrix-rip --list, or as the image says them.
struct TrackFacts {
    int32_t index0 = -1;
    std::vector<int32_t> indexes;  // INDEX 01, 02, ...
    std::string isrc;
    bool preEmphasis = false;
    bool operator==(const TrackFacts&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TrackFacts& f) {
    out << "INDEX 00 " << f.index0 << ", INDEX 01+";
    for (int32_t i : f.indexes) out << " " << i;
    return out << ", ISRC '" << f.isrc << "'" << (f.preEmphasis ? ", pre-emphasis" : "");
}

TrackFacts FactsOf(const akrip::TocTrack& track) {
    TrackFacts facts{track.PregapStart(), {track.start}, track.isrc, (track.control & 1) != 0};
    for (const auto& index : track.indexes) facts.indexes.push_back(index.lsn);
    return facts;
}

// "  Track 3: INDEX 00 1500, INDEX 01 1650, INDEX 02 1750; pregap 00:02:00; ISRC X; pre-emphasis"
std::map<int, TrackFacts> ListedFacts(const std::string& listing) {
    std::map<int, TrackFacts> tracks;
    std::istringstream lines(listing);
    for (std::string line; std::getline(lines, line);) {
        int number = 0;
        if (std::sscanf(line.c_str(), "  Track %d:", &number) != 1) continue;
        TrackFacts facts;
        std::istringstream words(line.substr(line.find(':') + 1));
        for (std::string word; words >> word;) {
            if (word == "INDEX") {
                int index = 0;
                int32_t lsn = 0;
                char comma = 0;
                words >> index >> lsn;
                words.get(comma);
                if (index == 0) {
                    facts.index0 = lsn;
                } else {
                    facts.indexes.push_back(lsn);
                }
            } else if (word == "ISRC") {
                words >> facts.isrc;
            } else if (word == "pre-emphasis") {
                facts.preEmphasis = true;
            }
        }
        if (!facts.isrc.empty() && facts.isrc.back() == ';') facts.isrc.pop_back();
        if (facts.index0 < 0 && !facts.indexes.empty()) facts.index0 = facts.indexes[0];
        tracks[number] = facts;
    }
    return tracks;
}

class Archival : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dg::WriteDiscImage(disc, tmp.path() / "image", "disc"));
        env = {"XDG_CONFIG_HOME=" + tmp / "config", "HOME=" + tmp.Path(), "CADRIX_VIRTUAL_DRIVES="};
    }
    // cadrix-rip with `args`, reading the image through a virtual drive, or
    // through the emulated drive.
    test::ProgramResult Virtual(const std::string& folder, std::vector<std::string> args) {
        args.insert(args.begin(), CADRIX_RIP_PATH);
        auto withDrive = env;
        withDrive.back() = "CADRIX_VIRTUAL_DRIVES=" + folder;
        return test::RunCommand(args, withDrive);
    }
    test::ProgramResult Emulated(std::vector<std::string> args) {
        std::vector<std::string> command{CADRIX_DRIVESIM_PATH, "--image", tmp / "image/disc.cue", "--",
                                         CADRIX_RIP_PATH};
        command.insert(command.end(), args.begin(), args.end());
        return test::RunCommand(command, env);
    }
    akrip::DiscToc Truth() {
        const auto image = akrip::LoadDiscImage(tmp / "image/disc.cue");
        EXPECT_TRUE(image);
        return image ? image->toc : akrip::DiscToc{};
    }

    dg::DiscDescription disc = ArchivalDisc();
    test::TempDir tmp;
    std::vector<std::string> env;
};

// The sheet and the Q sub-channel give the same layout, and it is the
// image's: every INDEX point, the ISRCs, pre-emphasis, the catalog number,
// and the hidden audio as track 0.
TEST_F(Archival, ListShowsTheLayoutFromTheSheetAndFromQ) {
    const akrip::DiscToc truth = Truth();
    ASSERT_EQ(truth.tracks.size(), 4u);
    const auto onImage = Virtual(tmp / "image", {"--list", "--no-lookup"});
    const auto onDrive = Emulated({"--list", "--no-lookup"});
    for (const auto* run : {&onImage, &onDrive}) {
        ASSERT_EQ(run->status, 0) << run->output;
        EXPECT_NE(run->output.find("MCN: " + truth.mcn + "\n"), std::string::npos) << run->output;
        EXPECT_NE(run->output.find("Hidden track one audio: 300 frames"), std::string::npos) << run->output;
        EXPECT_NE(run->output.find("  0\tHidden Track\t0:04\n"), std::string::npos) << run->output;
        const auto listed = ListedFacts(run->output);
        ASSERT_EQ(listed.size(), truth.tracks.size()) << run->output;
        for (size_t k = 0; k < truth.tracks.size(); ++k) {
            EXPECT_EQ(listed.at(static_cast<int>(k + 1)), FactsOf(truth.tracks[k])) << "track " << k + 1 << "\n"
                                                                                    << run->output;
        }
    }
    EXPECT_NE(onImage.output.find("Layout: read from the disc image's sheet"), std::string::npos);
    EXPECT_NE(onDrive.output.find("Layout: read from the Q sub-channel"), std::string::npos);
}

// A silent stretch before track 1 is a pregap, not a track.
TEST_F(Archival, SilenceBeforeTrackOneIsNoTrack) {
    dg::DiscDescription silent = dg::AudioDisc({300, 300}, 5);
    silent.tracks[0].pregapFrames = 225;  // PREGAP: silence in no file
    ASSERT_TRUE(dg::WriteDiscImage(silent, tmp.path() / "silent", "disc"));
    const auto run = Virtual(tmp / "silent", {"--list", "--no-lookup"});
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("Before track 1: 00:03:00 of silence"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("Hidden Track"), std::string::npos) << run.output;
}

// The lines of a log or listing that start with one of `keys`, in order.
std::string LinesWith(const std::string& text, const std::vector<std::string>& keys) {
    std::istringstream lines(text);
    std::string kept;
    for (std::string line; std::getline(lines, line);) {
        for (const auto& key : keys) {
            if (line.starts_with(key)) kept += line + "\n";
        }
    }
    return kept;
}

// The files of the one disc folder under `out`, by name, and that folder.
std::map<std::string, std::string> FolderFiles(const fs::path& out, fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(out)) folder = entry.path();
    for (const auto& entry : fs::directory_iterator(folder)) {
        files[entry.path().filename().string()] = test::ReadFile(entry.path().string());
    }
    return files;
}

// Where the tracks of a laid-out disc lie, as one text for comparing.
std::string Positions(const akrip::DiscToc& toc) {
    std::ostringstream text;
    text << "MCN " << toc.mcn << ", lead-out " << toc.leadOut << "\n";
    for (size_t k = 0; k < toc.tracks.size(); ++k) {
        text << "track " << k + 1 << ": " << FactsOf(toc.tracks[k]) << ", control " << int{toc.tracks[k].control}
             << "\n";
    }
    return text.str();
}

// A WAVE rip through the virtual drive and one through the emulated drive
// give the same files, the same cue sheet and the same facts in the log; the
// audio is the image's, the hidden audio included; the log's last line is
// the SHA-256 of the rest, as sha256sum computes it. Then the rip's folder,
// used as a virtual drive, is the disc again: the same layout and ids, and
// ripped once more, the same audio.
TEST_F(Archival, WaveRipKeepsTheDiscAndGivesItBack) {
    ASSERT_EQ(Virtual(tmp / "image", {"--no-lookup", "--output", tmp / "fromImage"}).status, 0);
    const auto emulated = Emulated({"--no-lookup", "--output", tmp / "fromDrive"});
    ASSERT_EQ(emulated.status, 0) << emulated.output;
    fs::path imageFolder, driveFolder;
    const auto fromImage = FolderFiles(tmp.path() / "fromImage", imageFolder);
    const auto fromDrive = FolderFiles(tmp.path() / "fromDrive", driveFolder);
    const std::string name = imageFolder.filename().string();
    ASSERT_EQ(fromImage.size(), 7u) << "five WAVE files, the cue sheet and the log";
    const std::string cue = fromImage.at(name + ".cue");
    EXPECT_EQ(cue, fromDrive.at(name + ".cue"));
    const std::vector<std::string> facts{"CDDB id",      "AccurateRip id", "MusicBrainz", "MCN",    "Hidden",
                                         "Pre-emphasis", "Cue sheet",      "Track",       "  File", "  CRC32",
                                         "  Peak",       "  Index",        "  Pregap",    "  ISRC", "  Pre-emphasis"};
    const std::string log = fromImage.at(name + ".log");
    EXPECT_EQ(LinesWith(log, facts), LinesWith(fromDrive.at(name + ".log"), facts));
    EXPECT_NE(log.find("Hidden track one audio: 00:04:00 before track 1, ripped as track 0"), std::string::npos) << log;

    // The audio, against the image and an independent peak level.
    for (const auto& [file, bytes] : fromImage) {
        if (!file.ends_with(".wav")) continue;
        EXPECT_EQ(bytes, fromDrive.at(file)) << file;
        const int t = std::stoi(file.substr(0, 2));
        const auto pcm = t == 0 ? dg::ExpectedAudioRange(disc, 0, 300) : dg::ExpectedTrackPcm(disc, t);
        ASSERT_EQ(bytes.size(), pcm.size() + 44) << file;
        EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), bytes.begin() + 44, [](uint8_t a, char b) {
            return a == static_cast<uint8_t>(b);
        })) << file;
        int peak = 0;
        for (size_t k = 0; k + 1 < pcm.size(); k += 2)
            peak = std::max(peak, std::abs(int{static_cast<int16_t>(pcm[k] | pcm[k + 1] << 8)}));
        char line[64];
        std::snprintf(line, sizeof line, "  Peak level: %.6f\n", peak / 32768.0);
        const size_t at = log.find("\nTrack " + std::to_string(t) + "\n");
        EXPECT_NE(log.find(line, at), std::string::npos) << file << " wants " << line << log;
    }

    // The seal, by sha256sum.
    const auto sealed = test::RunCommand({"sh", "-c", "head -n -1 \"$0\" | sha256sum",
                                          (imageFolder / (name + ".log")).string()},
                                         {});
    ASSERT_EQ(sealed.status, 0);
    EXPECT_TRUE(log.ends_with("SHA-256 of the log above: " + sealed.output.substr(0, 64) + "\n")) << log;

    // The rip's folder is the disc.
    const auto truth = Truth();
    const auto ripped = akrip::LoadDiscImage((imageFolder / (name + ".cue")).string());
    ASSERT_TRUE(ripped) << cue;
    EXPECT_EQ(Positions(ripped->toc), Positions(truth)) << cue;
    ASSERT_EQ(Virtual(imageFolder.string(), {"--no-lookup", "--output", tmp / "again"}).status, 0);
    fs::path againFolder;
    const auto again = FolderFiles(tmp.path() / "again", againFolder);
    EXPECT_EQ(againFolder.filename(), imageFolder.filename()) << "the CDDB id names the folder";
    const std::vector<std::string> ids{"CDDB id", "AccurateRip id", "MusicBrainz", "MCN", "Hidden", "  Index"};
    EXPECT_EQ(LinesWith(again.at(name + ".log"), ids), LinesWith(log, ids));
    for (const auto& [file, bytes] : fromImage) {
        if (file.ends_with(".wav")) {
            EXPECT_EQ(bytes, again.at(file)) << file;
        }
    }
    EXPECT_EQ(again.at(name + ".cue"), cue);
}

// cdrdao, reading the emulated drive's sub-channel its own way, finds the
// positions Cadrix's cue sheet gives.
TEST_F(Archival, CdrdaoAgreesWithTheCueSheet) {
    if (test::RunCommand({"sh", "-c", "command -v cdrdao"}, {}).status != 0) GTEST_SKIP() << "cdrdao is not installed";
    ASSERT_EQ(Emulated({"--no-lookup", "--output", tmp / "rip"}).status, 0);
    fs::path folder;
    FolderFiles(tmp.path() / "rip", folder);
    const auto sheet = akrip::LoadDiscImage((folder / (folder.filename().string() + ".cue")).string());
    ASSERT_TRUE(sheet);
    const std::vector<std::string> read{CADRIX_DRIVESIM_PATH,
                                        "--image",
                                        tmp / "image/disc.cue",
                                        "--",
                                        "sh",
                                        "-c",
                                        "cdrdao read-toc --device \"$CADRIX_DRIVESIM_DEVICE\" \"$0\" 2>&1",
                                        tmp / "read.toc"};
    auto peerEnv = env;
    peerEnv.push_back("ASAN_OPTIONS=detect_leaks=0");  // a sanitized build preloads its runtime into cdrdao
    const auto run = test::RunCommand(read, peerEnv);
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string text = test::ReadFile(tmp / "read.toc");
    const auto plan = akrip::ParseCdrdaoToc(text);
    ASSERT_TRUE(plan) << text;
    const int32_t leadOut = sheet->toc.leadOut;
    const auto cdrdao = akrip::LayoutDiscImage(*plan, [leadOut](const akrip::PlanFile&) {
        akrip::ImageFile file;
        file.payloadBytes = uint64_t{2352} * static_cast<uint64_t>(leadOut);
        return std::optional<akrip::ImageFile>(std::move(file));
    });
    ASSERT_TRUE(cdrdao) << text;
    EXPECT_EQ(Positions(cdrdao->toc), Positions(sheet->toc)) << "cdrdao's reading first\n" << text;
}

}  // namespace
}  // namespace cadrix
