// cadrix-rip --format ogg over the real akrip.so and cadrix_ogg.so on the
// generated demo disc: complete files with the track's samples and names.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "demo_disc.h"
#include "plugin_module.h"
#include "disc_generator.h"
#include "ogg_test_decoder.h"

namespace fs = std::filesystem;

using plugin_test::ShellQuoted;

TEST(OggCadrixRip, RipsChosenTracksToDecodableTaggedFiles) {
    char pattern[] = "/tmp/cadrix-ogg-rip-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path tmp = pattern;
    const std::string root = (tmp / "demo").string();
    const std::string out = (tmp / "out").string();
    ASSERT_TRUE(cadrix::discgen::WriteDemo(root));

    const std::string command = "env CADRIX_VIRTUAL_DRIVES=" + ShellQuoted(root + "/drive") +
                                " XDG_CONFIG_HOME=" + ShellQuoted(root + "/config") + " HOME=" + ShellQuoted(tmp.string()) +
                                " CADRIX_MODULE_DIR=" + ShellQuoted(CADRIX_OGG_MODULE_DIR) + " " +
                                ShellQuoted(CADRIX_RIP_PATH) + " --format ogg --quality 30 --tracks 2,4 --output " +
                                ShellQuoted(out) + " > " + ShellQuoted((tmp / "rip.log").string()) + " 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;

    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(out)) {
        if (e.is_regular_file()) files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    const auto& album = cadrix::discgen::DemoAlbumInfo();
    const auto disc = cadrix::discgen::DemoDiscDescription();
    ASSERT_EQ(files.size(), 2u);
    const int tracks[] = {2, 4};
    for (size_t i = 0; i < 2; ++i) {
        const int t = tracks[i];
        const std::string title = album.trackTitles[static_cast<size_t>(t - 1)];
        EXPECT_EQ(files[i].filename().string(), "0" + std::to_string(t) + " - " + title + ".ogg");
        const DecodedOgg d = DecodeOgg(files[i].string());
        ASSERT_TRUE(d.ok) << files[i];
        const auto pcm = cadrix::discgen::ExpectedTrackPcm(disc, t);
        EXPECT_EQ(d.pcmTotal, static_cast<int64_t>(pcm.size() / 4)) << files[i];
        EXPECT_EQ(d.left.size(), pcm.size() / 4) << files[i];
        const double snr = SnrDb(pcm, d, 0, pcm.size() / 4);
        std::printf("[ SNR      ] track %d at position 30: %.1f dB\n", t, snr);
        EXPECT_GE(snr, 17.0) << files[i];
        const auto comment = [&d](const std::string& name) {
            const auto found = d.comments.find(name);
            return found == d.comments.end() ? std::string("<none>") : found->second;
        };
        EXPECT_EQ(comment("TITLE"), title);
        EXPECT_EQ(comment("ARTIST"), album.artist);
        EXPECT_EQ(comment("ALBUM"), album.title);
        EXPECT_EQ(comment("DATE"), album.year);
        EXPECT_EQ(comment("TRACKNUMBER"), std::to_string(t));
        EXPECT_EQ(d.comments.count("GENRE"), 1u);
    }
    std::error_code ignored;
    fs::remove_all(tmp, ignored);
}
