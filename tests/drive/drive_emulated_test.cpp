// cadrix-rip over the real akrip.so, reading discs in an emulated CD-ROM
// drive through libcdio's Linux driver and paranoia: what a user with a
// drive gets, including damaged discs, swapped discs, aborts and offsets.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "disc_generator.h"
#include "extraction_test_support.h"
#include "run_program.h"

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
    // Every audio track of `disc` ripped to `out`, bit for bit.
    void ExpectBitExact(const discgen::DiscDescription& disc, const std::string& out) {
        const auto wavs = Wavs(out);
        size_t k = 0;
        for (int t = 1; t <= static_cast<int>(disc.tracks.size()); ++t) {
            const auto pcm = discgen::ExpectedTrackPcm(disc, t);
            if (pcm.empty()) continue;
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
    const std::string script = R"("$0" --output "$1" > /dev/null; a=$?; "$0" --output "$2" > /dev/null; echo "status $a $?")";
    const Outcome run = RunCommand({CADRIX_DRIVESIM_PATH, "--image", Image(first, "first"), "--image", Image(second, "second"),
                                "--change-after-reads", "60", "--", "sh", "-c", script, CADRIX_RIP_PATH,
                                tmp.Path() + "/run1", tmp.Path() + "/run2"},
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
    test::WriteFile(toc, "CD_DA\nCD_TEXT {\n  LANGUAGE_MAP { 0 : EN }\n  LANGUAGE 0 {\n    TITLE \"Signals\"\n"
                         "    PERFORMER \"The Lighthouse Keepers\"\n  }\n}\nTRACK AUDIO\nCD_TEXT { LANGUAGE 0 {"
                         " TITLE \"Fog\" } }\nFILE \"" + tmp.Path() + "/cdtext/disc.bin\" 0 00:04:00\n");
    const std::string expected = "Disc: The Lighthouse Keepers - Signals\n  1\tFog\t";
    const Outcome emulated = RunCommand({CADRIX_DRIVESIM_PATH, "--image", cue, "--", CADRIX_RIP_PATH, "--list", "--no-lookup"}, env);
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

}  // namespace
}  // namespace cadrix
