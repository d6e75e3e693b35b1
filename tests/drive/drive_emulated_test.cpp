// cadrix-rip over the real akrip.so, reading discs in an emulated CD-ROM
// drive through libcdio's Linux driver and paranoia: what a user with a
// drive gets, including damaged discs, swapped discs, aborts and offsets.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "disc_generator.h"
#include "extraction_test_support.h"
#include "lookup_server.h"
#include "run_program.h"
#include "standin_writer.h"

namespace fs = std::filesystem;

namespace cadrix {
namespace {

using Clock = std::chrono::steady_clock;

using Outcome = test::ProgramResult;
using test::RunCommand;

class EmulatedDrive : public ::testing::Test {
protected:
    void SetUp() override {
        env = {"XDG_CONFIG_HOME=" + tmp.Path() + "/config", "HOME=" + tmp.Path(), "CADRIX_VIRTUAL_DRIVES="};
    }
    std::string Image(const discgen::DiscDescription& disc, const std::string& name) {
        const std::string folder = tmp.Path() + "/" + name;
        EXPECT_TRUE(discgen::WriteDiscImage(disc, folder, "disc"));
        return folder + "/disc.cue";
    }
    // cadrix-drivesim <drive options> -- cadrix-rip --output <out> <rip options>
    Outcome Rip(std::vector<std::string> drive, const std::string& out, const std::vector<std::string>& rip = {},
                const std::function<void(const std::string&, pid_t)>& onLine = {}) {
        std::vector<std::string> args{CADRIX_DRIVESIM_PATH};
        args.insert(args.end(), drive.begin(), drive.end());
        args.insert(args.end(), {"--", CADRIX_RIP_PATH, "--output", tmp.Path() + "/" + out});
        args.insert(args.end(), rip.begin(), rip.end());
        return RunCommand(args, env, onLine);
    }
    std::vector<std::vector<uint8_t>> Wavs(const std::string& out) {
        std::vector<fs::path> files;
        for (const auto& e : fs::recursive_directory_iterator(tmp.Path() + "/" + out)) {
            if (e.path().extension() == ".wav") files.push_back(e.path());
        }
        std::sort(files.begin(), files.end());
        std::vector<std::vector<uint8_t>> wavs;
        for (const auto& f : files) wavs.push_back(test::ReadWholeFile(f.string()));
        return wavs;
    }
    // Every audio track of `disc` ripped to `out`, bit for bit; a drive with
    // read offset `offset` gives silence for the samples it cannot reach.
    void ExpectBitExact(const discgen::DiscDescription& disc, const std::string& out, int offset = 0) {
        const auto wavs = Wavs(out);
        size_t k = 0;
        const auto tracks = static_cast<int>(disc.tracks.size());
        for (int t = 1; t <= tracks; ++t) {
            auto pcm = discgen::ExpectedTrackPcm(disc, t);
            if (pcm.empty()) continue;
            if (offset > 0 && t == tracks) std::fill(pcm.end() - offset * 4, pcm.end(), 0);
            if (offset < 0 && t == 1) std::fill(pcm.begin(), pcm.begin() - offset * 4, 0);
            ASSERT_LT(k, wavs.size());
            EXPECT_TRUE(test::IsConsistentWave(wavs[k]));
            EXPECT_TRUE(wavs[k].size() == pcm.size() + 44 && std::equal(pcm.begin(), pcm.end(), wavs[k].begin() + 44))
                << "track " << t << ": " << wavs[k].size() - 44 << " bytes, expected " << pcm.size();
            ++k;
        }
        EXPECT_EQ(k, wavs.size());
    }

    test::TempFolder tmp;
    std::vector<std::string> env;
};

discgen::DiscDescription ThreeTracks(discgen::TrackMode last, int lastSession, uint64_t seed) {
    discgen::DiscDescription disc;
    disc.seed = seed;
    disc.tracks = {{.frames = 700}, {.frames = 900}, {.frames = 400, .mode = last, .session = lastSession}};
    return disc;
}

// The drive holds a disc put in before the program started (its insertion
// not yet reported); both data-track layouts are read to their full length.
TEST_F(EmulatedDrive, CleanDiscsRipBitExactlyOnTheFirstTry) {
    const auto enhanced = ThreeTracks(discgen::TrackMode::Mode1Raw, 2, 3);
    Outcome run = Rip({"--image", Image(enhanced, "enhanced")}, "enhanced");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("Track 2: 0 sectors re-read"), std::string::npos) << run.output;
    ExpectBitExact(enhanced, "enhanced");

    // Audio, then data in the same session: no session gap before it.
    const auto mixed = ThreeTracks(discgen::TrackMode::Mode1Raw, 1, 4);
    run = Rip({"--image", Image(mixed, "mixed")}, "mixed");
    EXPECT_EQ(run.status, 0) << run.output;
    ExpectBitExact(mixed, "mixed");
}

TEST_F(EmulatedDrive, TransientErrorsAndJitterAreReadAgainBitExactly) {
    const auto disc = ThreeTracks(discgen::TrackMode::Audio, 1, 5);
    const Outcome run = Rip({"--image", Image(disc, "disc"), "--bad", "300-303:3", "--jitter", "800-1500"}, "out");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("Audio extraction completed."), std::string::npos);
    EXPECT_EQ(run.output.find("Track 1: 0 sectors re-read"), std::string::npos) << run.output;
    ExpectBitExact(disc, "out");
}

TEST_F(EmulatedDrive, UnreadableSectorsFailTheTrackAndNameTheSectors) {
    const auto disc = ThreeTracks(discgen::TrackMode::Audio, 1, 6);
    const Outcome run = Rip({"--image", Image(disc, "disc"), "--bad", "1000-1001"}, "out");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("Audio extraction failed."), std::string::npos);
    EXPECT_NE(run.output.find("Track 2: 1 unreadable sectors: 1000"), std::string::npos) << run.output;
    const auto wavs = Wavs("out");
    ASSERT_EQ(wavs.size(), 2u);
    // Track 2 stops short: a consistent file holding a verified prefix.
    const auto pcm = discgen::ExpectedTrackPcm(disc, 2);
    EXPECT_TRUE(test::IsConsistentWave(wavs[1]));
    ASSERT_LT(wavs[1].size(), pcm.size() + 44);
    EXPECT_TRUE(std::equal(wavs[1].begin() + 44, wavs[1].end(), pcm.begin()));
}

// Another disc put in during a run fails the run; the next run reads the
// new disc, as the kernel reports the change once.
TEST_F(EmulatedDrive, DiscChangedDuringARunFailsItAndTheNextRunReadsTheNewDisc) {
    const auto first = ThreeTracks(discgen::TrackMode::Audio, 1, 7);
    const auto second = ThreeTracks(discgen::TrackMode::Audio, 1, 8);
    const std::string script =
        R"("$0" --output "$1" > /dev/null; a=$?; "$0" --output "$2" > /dev/null; echo "status $a $?")";
    const Outcome run = RunCommand({CADRIX_DRIVESIM_PATH, "--image", Image(first, "first"), "--image",
                                    Image(second, "second"), "--change-after-reads", "60", "--", "sh", "-c", script,
                                    CADRIX_RIP_PATH, tmp.Path() + "/run1", tmp.Path() + "/run2"},
                                   env);
    EXPECT_NE(run.output.find("status 1 0"), std::string::npos) << run.output;
    ExpectBitExact(second, "run2");
}

TEST_F(EmulatedDrive, InterruptDuringASlowReadEndsTheRunAtOnce) {
    const auto disc = ThreeTracks(discgen::TrackMode::Audio, 1, 9);
    Clock::time_point interrupted{};
    const Outcome run = Rip({"--image", Image(disc, "disc"), "--speed", "1"}, "out", {},
                            [&interrupted](const std::string& line, pid_t pid) {
                                if (line.find("Extracting Track 1...") == std::string::npos) return;
                                usleep(1500 * 1000);  // well inside paranoia's first reads
                                interrupted = Clock::now();
                                kill(pid, SIGINT);
                            });
    const auto took = Clock::now() - interrupted;
    EXPECT_EQ(run.status, 130) << run.output;
    EXPECT_LT(took, std::chrono::seconds(2));
    const auto wavs = Wavs("out");
    ASSERT_EQ(wavs.size(), 1u);
    EXPECT_TRUE(test::IsConsistentWave(wavs[0]));
}

// A drive whose audio comes 667 samples early: the given offset makes the
// rip an offset-0 drive's, but for the samples past the disc's readable end.
TEST_F(EmulatedDrive, ReadOffsetIsCorrected) {
    const auto disc = ThreeTracks(discgen::TrackMode::Audio, 1, 10);
    const std::string image = Image(disc, "disc");
    Outcome run = Rip({"--image", image, "--read-offset", "667"}, "raw", {"--tracks", "1"});
    ASSERT_EQ(run.status, 0) << run.output;
    const auto raw = Wavs("raw");
    const auto track1 = discgen::ExpectedTrackPcm(disc, 1);
    ASSERT_EQ(raw.size(), 1u);
    ASSERT_EQ(raw[0].size(), track1.size() + 44);
    EXPECT_FALSE(std::equal(track1.begin(), track1.end(), raw[0].begin() + 44));  // the drive's offset shows

    env.push_back("CADRIX_READ_OFFSET=667");
    run = Rip({"--image", image, "--read-offset", "667"}, "corrected");
    ASSERT_EQ(run.status, 0) << run.output;
    const auto wavs = Wavs("corrected");
    ASSERT_EQ(wavs.size(), 3u);
    for (int t = 1; t <= 3; ++t) {
        auto pcm = discgen::ExpectedTrackPcm(disc, t);
        if (t == 3) std::fill(pcm.end() - 667 * 4, pcm.end(), 0);  // beyond the last readable sample
        EXPECT_TRUE(wavs[static_cast<size_t>(t - 1)].size() == pcm.size() + 44 &&
                    std::equal(pcm.begin(), pcm.end(), wavs[static_cast<size_t>(t - 1)].begin() + 44))
            << "track " << t;
    }
}

// A drive whose audio comes late is read further on: the sector where the
// track starts on the disc is not part of the track's audio, and a bad one
// there (met while paranoia reads up to the track) costs nothing.
TEST_F(EmulatedDrive, ABadSectorTheOffsetLeavesOutOfTheTrackIsNotNeeded) {
    const auto disc = ThreeTracks(discgen::TrackMode::Audio, 1, 11);
    env.push_back("CADRIX_READ_OFFSET=696");
    const Outcome run = Rip({"--image", Image(disc, "disc"), "--read-offset", "696", "--bad", "700-700"}, "out",
                            {"--tracks", "2"});
    ASSERT_EQ(run.status, 0) << run.output;
    const auto wavs = Wavs("out");
    const auto pcm = discgen::ExpectedTrackPcm(disc, 2);
    ASSERT_EQ(wavs.size(), 1u);
    EXPECT_TRUE(wavs[0].size() == pcm.size() + 44 && std::equal(pcm.begin(), pcm.end(), wavs[0].begin() + 44));
}

// An independent reader of the emulated drive: cd-paranoia, through the
// same libcdio driver, gets the disc's audio too.
TEST_F(EmulatedDrive, CdParanoiaReadsTheEmulatedDrive) {
    if (RunCommand({"sh", "-c", "command -v cd-paranoia"}, {}).status != 0) {
        GTEST_SKIP() << "cd-paranoia is not installed (scripts/install-deps.sh installs it)";
    }
    const auto disc = ThreeTracks(discgen::TrackMode::Mode1Raw, 2, 11);
    const std::string wav = tmp.Path() + "/track2.wav";
    env.push_back("ASAN_OPTIONS=detect_leaks=0");  // a sanitized build preloads its runtime into cd-paranoia
    const Outcome run = RunCommand({CADRIX_DRIVESIM_PATH, "--image", Image(disc, "disc"), "--", "sh", "-c",
                                    R"(cd-paranoia -q -d "$CADRIX_DRIVESIM_DEVICE" 2 "$0")", wav},
                                   env);
    ASSERT_EQ(run.status, 0) << run.output;
    const auto bytes = test::ReadWholeFile(wav);
    const auto pcm = discgen::ExpectedTrackPcm(disc, 2);
    EXPECT_TRUE(bytes.size() == pcm.size() + 44 && std::equal(pcm.begin(), pcm.end(), bytes.begin() + 44));
}

// CD-Text names a disc without the network: read by libcdio's driver from
// the emulated drive (READ TOC format 5) and, for a virtual drive, from the
// image's sheet (CUE fields, cdrdao CD_TEXT blocks). Short texts, several
// of which share a pack, and a Latin-1 letter come through.
TEST_F(EmulatedDrive, CdTextNamesTheDiscWithoutTheNetwork) {
    discgen::DiscDescription disc;
    disc.tracks = {{.frames = 300}, {.frames = 200}, {.frames = 250}};
    const std::string cue = Image(disc, "cdtext");
    std::string sheet = test::ReadFile(cue);
    sheet.insert(0, "PERFORMER \"The Lighthouse Keepers\"\nTITLE \"Signals\"\n");
    const char* titles[] = {"Fog", "B", "Caf\xc3\xa9 at Low Tide, Long Version"};
    size_t at = 0;
    for (const char* title : titles) {
        at = sheet.find("INDEX 01", sheet.find("TRACK", at));
        sheet.insert(at, std::string("TITLE \"") + title + "\"\n    ");
        at += 20;
    }
    test::WriteFile(cue, sheet);
    const std::string toc = tmp.Path() + "/toc/disc.toc";
    test::WriteFile(toc,
                    "CD_DA\nCD_TEXT {\n  LANGUAGE_MAP { 0 : EN }\n  LANGUAGE 0 {\n    TITLE \"Signals\"\n"
                    "    PERFORMER \"The Lighthouse Keepers\"\n  }\n}\nTRACK AUDIO\nCD_TEXT { LANGUAGE 0 {"
                    " TITLE \"Fog\" } }\nFILE \"" +
                        tmp.Path() + "/cdtext/disc.bin\" 0 00:04:00\n");
    const std::string expected = "Disc: The Lighthouse Keepers - Signals\n  1\tFog\t";
    const Outcome emulated = RunCommand({CADRIX_DRIVESIM_PATH, "--image", cue, "--", CADRIX_RIP_PATH, "--list",
                                         "--no-lookup"},
                                        env);
    EXPECT_NE(emulated.output.find(expected), std::string::npos) << emulated.output;
    EXPECT_NE(emulated.output.find("  2\tB\t"), std::string::npos) << emulated.output;
    EXPECT_NE(emulated.output.find("Caf\xc3\xa9 at Low Tide"), std::string::npos) << emulated.output;
    for (const std::string& folder : {tmp.Path() + "/cdtext", tmp.Path() + "/toc"}) {
        fs::remove_all(tmp.Path() + "/.local");  // the names kept by the run before
        std::vector<std::string> virtualEnv = env;
        virtualEnv.push_back("CADRIX_VIRTUAL_DRIVES=" + folder);
        const Outcome image = RunCommand({CADRIX_RIP_PATH, "--list", "--no-lookup"}, virtualEnv);
        EXPECT_NE(image.output.find(expected), std::string::npos) << folder << "\n" << image.output;
    }
}

// Rips proven against a local AccurateRip stand-in: the database file made
// from the image itself (cadrix_arstandin) and served by a static server.
class VerifiedRip : public EmulatedDrive {
protected:
    void SetUp() override {
        EmulatedDrive::SetUp();
        disc.seed = 21;
        disc.tracks = {{.frames = 700}, {.frames = 900}, {.frames = 400}};
        image = Image(disc, "disc");
    }
    // Serves the stand-in's files (made with `options`, listing `drives`).
    void Serve(const standin::DiscFileOptions& options,
               const std::vector<std::pair<std::string, int32_t>>& drives = {}) {
        std::string path, error;
        ASSERT_TRUE(standin::WriteDiscFile(image, tmp.Path() + "/ar", options, path, error)) << error;
        ASSERT_TRUE(standin::WriteDriveList(tmp.Path() + "/ar", drives, error)) << error;
        StartServer();
    }
    void StartServer() {
        server = std::make_unique<test::ScriptServer>(CADRIX_LOOKUP_PYTHON,
                                                      std::vector<std::string>{CADRIX_STATIC_SERVER_SCRIPT,
                                                                               tmp.Path() + "/ar", Requests()},
                                                      Requests());
        Point(server->Url());
    }
    void Point(const std::string& url) { env.push_back("CADRIX_ACCURATERIP_SERVER=" + url); }
    std::string Requests() const { return tmp.Path() + "/requests.log"; }
    std::string LogOf(const std::string& out) {
        for (const auto& e : fs::recursive_directory_iterator(tmp.Path() + "/" + out)) {
            if (e.path().extension() == ".log") return test::ReadFile(e.path().string());
        }
        return {};
    }
    static bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

    discgen::DiscDescription disc;
    std::string image;
    std::unique_ptr<test::ScriptServer> server;
};

TEST_F(VerifiedRip, AFullSpeedRipWithTheListedOffsetIsProvenTrackByTrack) {
    Serve({}, {{"TESTVEND AR DRIVE", 667}});
    const Outcome run = Rip({"--image", image, "--read-offset", "667", "--model", "TESTVEND AR DRIVE"}, "out");
    ASSERT_EQ(run.status, 0) << run.output;
    for (int t = 1; t <= 3; ++t) {
        EXPECT_TRUE(Has(run.output, "Track " + std::to_string(t) + ": AccurateRip v2 ")) << run.output;
    }
    EXPECT_TRUE(Has(run.output, ", accurate (confidence 12)\nTrack 3: 0 sectors re-read")) << run.output;
    EXPECT_TRUE(Has(run.output, "All tracks accurately ripped\nLog: ")) << run.output;
    const std::string log = LogOf("out");
    EXPECT_TRUE(Has(log, "Drive: TESTVEND AR DRIVE\nRead offset: +667 (AccurateRip's drive list)\n")) << log;
    EXPECT_TRUE(Has(log,
                    "Track 2\n  File: 02 - Untitled Track.wav\n  Length: 0:12.00 (900 sectors)\n"
                    "  Read: burst (full speed), proven by AccurateRip\n  CRC32: "))
        << log;
    ExpectBitExact(disc, "out", 667);
}

TEST_F(VerifiedRip, ATrackAccurateRipDoesNotProveIsReadAgainSecurelyAndSaidSo) {
    Serve({.wrongTrack = 2});
    const Outcome run = Rip({"--image", image}, "out");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(Has(run.output, "Track 1: AccurateRip v2 ")) << run.output;
    EXPECT_TRUE(Has(run.output, ", not accurate\nTrack 2: 0 sectors re-read")) << run.output;
    EXPECT_TRUE(Has(run.output, "1 of 3 tracks could not be verified\n")) << run.output;
    const std::string log = LogOf("out");
    EXPECT_TRUE(Has(log, "Read offset: 0 (unknown, so 0)")) << log;
    EXPECT_TRUE(Has(log, "not proven, then secure (CRC32 ")) << log;
    EXPECT_TRUE(Has(log, "the two reads agree\n")) << log;
    ExpectBitExact(disc, "out");
}

// Unknown discs, a server that is down and hostile replies (cut short,
// absurd track counts, another disc's ids) leave a secure, complete rip.
TEST_F(VerifiedRip, UnknownDiscsFailingServersAndHostileRepliesLeaveTheRipSecureAndWhole) {
    fs::create_directories(tmp.Path() + "/ar");
    StartServer();
    Outcome run = Rip({"--image", image}, "unknown");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(Has(run.output, ", disc not in AccurateRip\n")) << run.output;
    EXPECT_TRUE(Has(LogOf("unknown"), "Reading: secure (every sector verified)\n"));
    ExpectBitExact(disc, "unknown");

    std::string path, error;
    ASSERT_TRUE(standin::WriteDiscFile(image, tmp.Path() + "/ar", {}, path, error));
    const auto good = test::ReadWholeFile(path);
    std::vector<uint8_t> otherDisc = good;
    otherDisc[1] ^= 1;  // in both submissions
    otherDisc[good.size() / 2 + 1] ^= 1;
    const std::vector<std::vector<uint8_t>> hostile = {{good.begin(), good.begin() + 20},
                                                       {255, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14},
                                                       otherDisc};
    for (size_t k = 0; k < hostile.size(); ++k) {
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(hostile[k].data()), static_cast<std::streamsize>(hostile[k].size()));
        const std::string out = "hostile" + std::to_string(k);
        run = Rip({"--image", image}, out);
        ASSERT_EQ(run.status, 0) << run.output;
        EXPECT_TRUE(Has(run.output, "AccurateRip gave no usable answer: the rip is not verified\n")) << run.output;
        EXPECT_TRUE(Has(LogOf(out), "AccurateRip: the reply holds no checksums for this disc\n"));
        ExpectBitExact(disc, out);
    }
    const std::string asked = server->Log();
    run = Rip({"--image", image}, "nolookup", {"--no-lookup"});
    EXPECT_TRUE(Has(run.output, "AccurateRip lookup off: the rip is not verified\n")) << run.output;
    EXPECT_EQ(server->Log(), asked);

    env.pop_back();
    Point("http://127.0.0.1:9");  // nothing listens there
    run = Rip({"--image", image}, "down");
    ASSERT_EQ(run.status, 0) << run.output;
    // Said once, calmly; why is in the log.
    EXPECT_TRUE(Has(run.output, ", not verified\nTrack 1: 0 sectors re-read")) << run.output;
    EXPECT_FALSE(Has(run.output, "Failed to connect")) << run.output;
    EXPECT_TRUE(Has(run.output, "\nAccurateRip could not be reached: the rip is not verified\n")) << run.output;
    EXPECT_TRUE(Has(LogOf("down"), "AccurateRip: Failed to connect")) << LogOf("down");
    ExpectBitExact(disc, "down");
}

TEST_F(VerifiedRip, TheDriveOffsetIsFoundKeptAndUsed) {
    Serve({});
    for (const int offset : {667, -1164}) {
        const std::string model = "TESTVEND FIND " + std::to_string(offset);
        const std::vector<std::string> drive{"--image", image, "--read-offset", std::to_string(offset),
                                             "--model", model};
        std::vector<std::string> args{CADRIX_DRIVESIM_PATH};
        args.insert(args.end(), drive.begin(), drive.end());
        args.insert(args.end(), {"--", CADRIX_RIP_PATH, "--find-offset"});
        const Outcome found = RunCommand(args, env);
        ASSERT_EQ(found.status, 0) << found.output;
        const std::string shown = (offset > 0 ? "+" : "") + std::to_string(offset);
        EXPECT_TRUE(Has(found.output, "Read offset: " + shown + "\n")) << found.output;
        const std::string conf = test::ReadFile(tmp.Path() + "/config/Zephyrtone/Zephyrtone.conf");
        EXPECT_TRUE(Has(conf, "CadrixReadOffset." + model + "=" + shown + "\n"));

        const std::string out = "kept" + std::to_string(offset);
        const Outcome run = Rip(drive, out);
        ASSERT_EQ(run.status, 0) << run.output;
        EXPECT_TRUE(Has(run.output, "All tracks accurately ripped")) << run.output;
        EXPECT_TRUE(Has(LogOf(out), "Read offset: " + shown + " (kept for this drive)"));
        ExpectBitExact(disc, out, offset);
    }
}

}  // namespace
}  // namespace cadrix
