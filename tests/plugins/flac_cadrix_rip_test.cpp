// cadrix-rip --format flac over the real akrip.so and cadrix_flac.so on the
// generated demo disc, checked with the flac tools: `flac -t` passes, `flac -d`
// gives back the track's samples bit for bit, `metaflac --list` shows the tags.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "command_run.h"
#include "demo_disc.h"
#include "disc_generator.h"

namespace fs = std::filesystem;
using plugin_test::CommandOutput;
using plugin_test::ShellQuoted;

TEST(FlacCadrixRip, FilesPassFlacTestDecodeExactlyAndCarryTheTags) {
    if (CommandOutput(ShellQuoted(CADRIX_RIP_PATH) + " --help 2>&1").find("flac") == std::string::npos) {
        GTEST_SKIP() << "this cadrix-rip has no --format flac";
    }
    char pattern[] = "/tmp/cadrix-flac-rip-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path tmp = pattern;
    ASSERT_TRUE(cadrix::discgen::WriteDemo(tmp / "demo"));
    ASSERT_TRUE(plugin_test::RunCadrixRip(CADRIX_RIP_PATH, tmp / "demo", CADRIX_FLAC_MODULE_DIR,
                                          "--format flac --quality 5 --tracks 3 --output " +
                                              ShellQuoted((tmp / "out").string()),
                                          tmp / "rip.log"));

    const auto& album = cadrix::discgen::DemoAlbumInfo();
    const std::string file = ShellQuoted(
        (tmp / "out" / (album.artist + " - " + album.title) / ("03 - " + album.trackTitles[2] + ".flac")).string());
    bool ok = false;
    CommandOutput(ShellQuoted(CADRIX_FLAC_TOOL) + " -t -s " + file, &ok);
    EXPECT_TRUE(ok);
    const std::string raw = CommandOutput(ShellQuoted(CADRIX_FLAC_TOOL) +
                                          " -d -s -c --force-raw-format --endian=little --sign=signed " + file);
    EXPECT_TRUE(std::vector<uint8_t>(raw.begin(), raw.end()) ==
                cadrix::discgen::ExpectedTrackPcm(cadrix::discgen::DemoDiscDescription(), 3));

    const std::string listing = CommandOutput(ShellQuoted(CADRIX_METAFLAC_TOOL) + " --list " + file, &ok);
    EXPECT_TRUE(ok);
    const std::vector<std::string> lines{"SEEKTABLE",
                                         "PADDING",
                                         "TITLE=" + album.trackTitles[2],
                                         "ALBUM=" + album.title,
                                         "DATE=" + album.year,
                                         "ARTIST=" + album.artist,
                                         "TRACKNUMBER=3",
                                         "GENRE="};
    for (const std::string& line : lines) {
        EXPECT_NE(listing.find(line), std::string::npos) << line << "\n" << listing;
    }
    std::error_code ignored;
    fs::remove_all(tmp, ignored);
}

// TRACKTOTAL counts the disc's audio tracks; the track number stays the disc's.
TEST(FlacCadrixRip, TrackTotalCountsAudioTracksOnADiscThatStartsWithData) {
    if (CommandOutput(ShellQuoted(CADRIX_RIP_PATH) + " --help 2>&1").find("flac") == std::string::npos) {
        GTEST_SKIP() << "this cadrix-rip has no --format flac";
    }
    char pattern[] = "/tmp/cadrix-flac-total-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path tmp = pattern;
    cadrix::discgen::DiscDescription disc;
    disc.tracks = {{.frames = 600, .mode = cadrix::discgen::TrackMode::Mode1Raw},
                   {.frames = 300},
                   {.frames = 300},
                   {.frames = 300}};
    ASSERT_TRUE(cadrix::discgen::WriteDiscImage(disc, tmp / "disc" / "drive", "disc"));
    ASSERT_TRUE(plugin_test::RunCadrixRip(CADRIX_RIP_PATH, tmp / "disc", CADRIX_FLAC_MODULE_DIR,
                                          "--no-lookup --format flac --tracks 2 --output " +
                                              ShellQuoted((tmp / "out").string()),
                                          tmp / "rip.log"));
    std::string file;
    for (const auto& entry : fs::recursive_directory_iterator(tmp / "out")) {
        if (entry.path().extension() == ".flac") file = entry.path().string();
    }
    const std::string listing = CommandOutput(ShellQuoted(CADRIX_METAFLAC_TOOL) + " --list " + ShellQuoted(file));
    EXPECT_NE(listing.find("TRACKNUMBER=2\n"), std::string::npos) << listing;
    EXPECT_NE(listing.find("TRACKTOTAL=3\n"), std::string::npos) << listing;
    std::error_code ignored;
    fs::remove_all(tmp, ignored);
}
