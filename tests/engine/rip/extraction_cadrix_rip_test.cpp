// cadrix-rip: its command line, and end to end over the real akrip.so and
// generated disc images.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>

#include "demo_disc.h"
#include "disc_generator.h"
#include "extraction_test_support.h"
#include "output/output_format.h"
#include "rip_options.h"
#include "run_program.h"

namespace fs = std::filesystem;

namespace cadrix {
namespace {

using rip::ParseRipOptions;
using rip::ParseTrackList;
using rip::RipOptions;

bool Parse(std::vector<std::string_view> args, RipOptions& options) {
    std::string error;
    return ParseRipOptions(args, options, error);
}

TEST(RipOptions, DefaultsAndValues) {
    RipOptions o;
    ASSERT_TRUE(Parse({"--output", "/x"}, o));
    EXPECT_EQ(o.drive, 1);
    EXPECT_FALSE(o.tracksGiven);
    EXPECT_EQ(o.format, FORMAT_PCM);
    ASSERT_TRUE(Parse({"--format", "ogg", "--output=/x"}, o));
    EXPECT_EQ(o.quality, 50);
    ASSERT_TRUE(Parse({"--format=wma", "--output", "/x"}, o));
    EXPECT_EQ(o.quality, 5);
    ASSERT_TRUE(Parse({"--format", "wma-vbr", "--output", "/x"}, o));
    EXPECT_EQ(o.quality, 3);
    ASSERT_TRUE(
        Parse({"--drive", "2", "--tracks", "1,3-5", "--format", "ogg", "--quality", "110", "--output", "/x"}, o));
    EXPECT_EQ(o.drive, 2);
    EXPECT_EQ(o.quality, 110);
    EXPECT_EQ(o.tracks.count(), 4u);
    EXPECT_TRUE(o.tracks.test(4));
    EXPECT_FALSE(o.tracks.test(2));
    ASSERT_TRUE(Parse({"--list"}, o));
    EXPECT_TRUE(o.list);
    ASSERT_TRUE(Parse({"--list", "--no-lookup"}, o));
    EXPECT_FALSE(o.lookup);
    ASSERT_TRUE(Parse({"--lookup-only", "--drive", "2", "--release=3"}, o));
    EXPECT_TRUE(o.lookupOnly);
    EXPECT_EQ(o.release, 3);
    ASSERT_TRUE(Parse({"--help"}, o));
    EXPECT_TRUE(o.help);
}

TEST(RipOptions, UsageErrors) {
    RipOptions o;
    for (const std::vector<std::string_view>& args : std::vector<std::vector<std::string_view>>{
             {},
             {"--output"},
             {"--bogus", "--output", "/x"},
             {"--drive", "0", "--output", "/x"},
             {"--drive", "9", "--output", "/x"},
             {"--tracks", "-1", "--output", "/x"},  // 0 is the hidden track one audio
             {"--tracks", "5-3", "--output", "/x"},
             {"--tracks", "1,,2", "--output", "/x"},
             {"--tracks", "100", "--output", "/x"},
             {"--format", "mp3", "--output", "/x"},
             {"--format", "wma", "--quality", "10", "--output", "/x"},
             {"--format", "wma-vbr", "--quality", "-1", "--output", "/x"},
             {"--quality", "3", "--output", "/x"},  // WAVE has no quality
             {"--list", "--output", "/x"},
             {"--list", "--drive", "2"},  // --list shows every drive
             {"--list", "--format", "ogg"},
             {"--list", "--tracks", "1"},
             {"--list", "--release", "2"},
             {"--lookup-only", "--no-lookup"},
             {"--lookup-only", "--output", "/x"},
             {"--lookup-only", "--format", "ogg"},
             {"--release", "21", "--output", "/x"},
         }) {
        std::string joined;
        for (auto a : args) joined += std::string(a) + " ";
        EXPECT_FALSE(Parse(args, o)) << joined;
    }
    std::bitset<100> tracks;
    EXPECT_TRUE(ParseTrackList("99", tracks));
    EXPECT_FALSE(ParseTrackList("1-", tracks));
    EXPECT_FALSE(ParseTrackList("a", tracks));
}

#ifdef CADRIX_RIP_PATH

using RunResult = test::ProgramResult;

// Runs cadrix-rip with the demo's environment; `onLine` sees every line of
// its standard output as it comes, with the child's pid.
RunResult RunRip(const std::vector<std::string>& args, const std::vector<std::string>& env,
                 const std::function<void(const std::string&, pid_t)>& onLine = {}) {
    return test::RunProgram(CADRIX_RIP_PATH, args, {env, onLine});
}

class RipEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        root = tmp.Path() + "/demo";
        ASSERT_TRUE(discgen::WriteDemo(root));
        // Discs the demo database does not name are looked up: at a closed local port.
        env = {"CADRIX_VIRTUAL_DRIVES=" + root + "/drive", "XDG_CONFIG_HOME=" + root + "/config", "HOME=" + tmp.Path(),
               "CADRIX_MUSICBRAINZ_SERVER=http://127.0.0.1:9", "CADRIX_GNUDB_SERVER=http://127.0.0.1:9"};
        out = tmp.Path() + "/out";
    }
    std::vector<fs::path> Wavs() const {
        std::vector<fs::path> files;
        for (const auto& e : fs::recursive_directory_iterator(out)) {
            if (e.path().extension() == ".wav") files.push_back(e.path());
        }
        std::sort(files.begin(), files.end());
        return files;
    }
    test::TempFolder tmp;
    std::string root;
    std::string out;
    std::vector<std::string> env;
};

TEST_F(RipEndToEnd, ListsAndRipsTheDemoDiscBitExactly) {
    const auto& album = discgen::DemoAlbumInfo();
    const RunResult list = RunRip({"--list"}, env);
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.output.find("Drive 1: "), std::string::npos) << list.output;
    EXPECT_NE(list.output.find(album.artist + " - " + album.title), std::string::npos) << list.output;
    EXPECT_NE(list.output.find("\t" + album.trackTitles[0] + "\t"), std::string::npos);

    const RunResult rip = RunRip({"--output", out}, env);
    EXPECT_EQ(rip.status, 0) << rip.output;
    EXPECT_NE(rip.output.find("Audio extraction completed."), std::string::npos);
    const auto files = Wavs();
    const auto disc = discgen::DemoDiscDescription();
    ASSERT_EQ(files.size(), disc.tracks.size());
    for (size_t i = 0; i < files.size(); ++i) {
        const auto bytes = test::ReadWholeFile(files[i].string());
        ASSERT_TRUE(test::IsConsistentWave(bytes)) << files[i];
        const auto pcm = discgen::ExpectedTrackPcm(disc, static_cast<int>(i + 1));
        EXPECT_TRUE(bytes.size() == pcm.size() + 44 && std::equal(pcm.begin(), pcm.end(), bytes.begin() + 44))
            << files[i];
        EXPECT_EQ(files[i].parent_path().filename().string(), album.artist + " - " + album.title);
    }
}

TEST_F(RipEndToEnd, ChosenTracksAndExitStatuses) {
    const RunResult some = RunRip({"--tracks", "2,4", "--output", out}, env);
    EXPECT_EQ(some.status, 0) << some.output;
    ASSERT_EQ(Wavs().size(), 2u);
    EXPECT_EQ(Wavs()[0].filename().string().substr(0, 5), "02 - ");
    EXPECT_EQ(RunRip({"--tracks", "9", "--output", out}, env).status, 2);
    EXPECT_EQ(RunRip({"--drive", "3", "--output", out}, env).status, 2);
    EXPECT_EQ(RunRip({"--nonsense"}, env).status, 2);
    EXPECT_EQ(RunRip({"--help"}, env).status, 0);
    // An output folder that cannot be made fails the run.
    EXPECT_EQ(RunRip({"--output", "/proc/cadrix-no/such"}, env).status, 1);
}

// Every run keeps its record: re-ripping one track leaves the log of the
// whole disc as it was, and its own log goes beside it.
TEST_F(RipEndToEnd, EveryRunKeepsItsOwnLog) {
    ASSERT_EQ(RunRip({"--output", out, "--no-lookup"}, env).status, 0);
    ASSERT_EQ(RunRip({"--tracks", "2", "--output", out, "--no-lookup"}, env).status, 0);
    const auto& album = discgen::DemoAlbumInfo();
    const std::string name = album.artist + " - " + album.title;
    const std::string whole = test::ReadFile(out + "/" + name + "/" + name + ".log");
    const std::string again = test::ReadFile(out + "/" + name + "/" + name + " (2).log");
    EXPECT_NE(whole.find("\nTrack 1\n"), std::string::npos) << whole;
    EXPECT_NE(whole.find("\nTrack 5\n"), std::string::npos) << whole;
    EXPECT_NE(again.find("\nTrack 2\n  File: 02 - " + album.trackTitles[1] + ".wav\n"), std::string::npos) << again;
    EXPECT_EQ(again.find("\nTrack 1\n"), std::string::npos) << again;
}

TEST_F(RipEndToEnd, AudioBeforeTheDataSessionOfAnEnhancedCd) {
    discgen::DiscDescription disc;
    disc.tracks = {{.frames = 900},
                   {.frames = 700},
                   {.frames = 600, .mode = discgen::TrackMode::Mode1Raw, .session = 2}};
    ASSERT_TRUE(discgen::WriteDiscImage(disc, root + "/drive", "demo"));
    const RunResult rip = RunRip({"--output", out}, env);
    EXPECT_EQ(rip.status, 0) << rip.output;
    const auto files = Wavs();
    ASSERT_EQ(files.size(), 2u);
    for (int t = 1; t <= 2; ++t) {
        const auto bytes = test::ReadWholeFile(files[static_cast<size_t>(t - 1)].string());
        const auto pcm = discgen::ExpectedTrackPcm(disc, t);
        EXPECT_TRUE(test::IsConsistentWave(bytes));
        EXPECT_TRUE(bytes.size() == pcm.size() + 44 && std::equal(pcm.begin(), pcm.end(), bytes.begin() + 44))
            << "track " << t << " " << bytes.size() << " vs " << pcm.size() + 44;
    }
}

TEST_F(RipEndToEnd, PluginFormatHandsTheTracksToThePlugin) {
    // The recording fake stands in for cadrix_wma.so: it copies the PCM it is
    // given to "<baseName>.pcm".
    const char* fakes = getenv("CADRIX_TEST_FAKES");
    if (fakes == nullptr) GTEST_SKIP() << "CADRIX_TEST_FAKES not set";
    env.push_back(std::string("CADRIX_MODULE_DIR=") + fakes + "/plugins");
    const RunResult rip = RunRip({"--format", "wma-vbr", "--quality", "4", "--tracks", "3", "--output", out}, env);
    EXPECT_EQ(rip.status, 0) << rip.output;
    EXPECT_NE(rip.output.find("Extracting & Compressing Track 3..."), std::string::npos) << rip.output;
    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(out)) {
        if (e.is_regular_file() && e.path().extension() != ".log") files.push_back(e.path());  // the rip's log aside
    }
    ASSERT_EQ(files.size(), 1u);
    const auto& album = discgen::DemoAlbumInfo();
    EXPECT_EQ(files[0].filename().string(), "03 - " + album.trackTitles[2] + ".pcm");
    const auto bytes = test::ReadWholeFile(files[0].string());
    EXPECT_TRUE(bytes == discgen::ExpectedTrackPcm(discgen::DemoDiscDescription(), 3));
    // The log names the file the plug-in wrote, with the plug-in's own extension.
    const std::string folder = files[0].parent_path().string();
    const std::string log = test::ReadFile(folder + "/" + files[0].parent_path().filename().string() + ".log");
    EXPECT_NE(log.find("  File: " + files[0].filename().string() + "\n"), std::string::npos) << log;
}

TEST_F(RipEndToEnd, InterruptAbortsWithConsistentFiles) {
    discgen::DiscDescription disc = discgen::EvenDisc(75 * 60 * 4, 2);
    ASSERT_TRUE(discgen::WriteDiscImage(disc, root + "/drive", "demo"));
    const RunResult rip = RunRip({"--output", out}, env, [](const std::string& line, pid_t pid) {
        if (line.find("Extracting Track 1...") != std::string::npos) kill(pid, SIGINT);
    });
    EXPECT_EQ(rip.status, 130) << rip.output;
    const auto files = Wavs();
    ASSERT_EQ(files.size(), 1u);  // track 2 never started
    const auto bytes = test::ReadWholeFile(files[0].string());
    EXPECT_TRUE(test::IsConsistentWave(bytes));
    // The abort may land mid-track or just after it; either way the file
    // holds a prefix of the track's audio.
    const auto pcm = discgen::ExpectedTrackPcm(disc, 1);
    ASSERT_LE(bytes.size(), 44 + pcm.size());
    EXPECT_TRUE(std::equal(bytes.begin() + 44, bytes.end(), pcm.begin()));
}

#endif

}  // namespace
}  // namespace cadrix
