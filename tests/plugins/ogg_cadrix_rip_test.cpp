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

#include "command_run.h"
#include "demo_disc.h"
#include "disc_generator.h"
#include "ogg_test_decoder.h"
#include "temp_dir.h"

namespace fs = std::filesystem;

TEST(OggCadrixRip, RipsChosenTracksToDecodableTaggedFiles) {
    const cadrix::test::TempDir dir;
    const fs::path tmp = dir.path();
    const std::string root = (tmp / "demo").string();
    const std::string out = (tmp / "out").string();
    ASSERT_TRUE(cadrix::discgen::WriteDemo(root));

    EXPECT_TRUE(
        plugin_test::RunCadrixRip(CADRIX_RIP_PATH, root, CADRIX_OGG_MODULE_DIR,
                                  "--format ogg --quality 30 --tracks 2,4 --output " + plugin_test::ShellQuoted(out),
                                  tmp / "rip.log"));

    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(out)) {
        if (e.is_regular_file() && e.path().extension() != ".log") files.push_back(e.path());  // the rip's log aside
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
