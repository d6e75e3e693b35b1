// The demo disc through the real akrip.so: the drive, its tracks with names
// and durations, and the caption, named from the generated disc database.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "demo_disc.h"
#include "disc/drive_set.h"
#include "disc_generator.h"
#include "names/drive_names.h"
#include "temp_dir.h"

namespace cadrix {
namespace {

namespace fs = std::filesystem;

TEST(DemoDisc, ListsTracksAndCaptionFromTheDatabase) {
    const test::TempDir tmp;
    const fs::path root = tmp.path();
    std::string error;
    ASSERT_TRUE(discgen::WriteDemo(root, &error)) << error;
    setenv("CADRIX_MODULE_DIR", CADRIX_REAL_MODULE_DIR, 1);
    setenv("CADRIX_VIRTUAL_DRIVES", (root / "drive").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);

    const discgen::DemoAlbum& album = discgen::DemoAlbumInfo();
    const uint32_t discId = discgen::ExpectedTocOf(discgen::DemoDiscDescription()).cddbId;
    {
        DriveSet drives;
        ASSERT_TRUE(drives.InitAKRip());
        ReadDataDir(drives);
        EXPECT_EQ(drives.dataDir, (root / "database").string() + "/");
        int demo = -1;
        for (int k = 0; k < drives.driveCount; ++k) {
            drives.ReadDisc(k);
            if (drives.drives[k].discId == discId) demo = k;
        }
        ASSERT_GE(demo, 0) << "no drive holds the demo disc";
        const DriveRecord& record = drives.drives[demo];
        EXPECT_FALSE(record.name.empty());
        EXPECT_NE(record.name.back(), ' ');
        EXPECT_EQ(record.genre, "Ambient Electronica");
        EXPECT_EQ(record.year, album.year);

        const TrackListing listing = FillTrackList(record);
        EXPECT_EQ(listing.caption, album.artist + " - " + album.title);
        ASSERT_EQ(listing.rows.size(), album.trackTitles.size());
        const char* durations[] = {"0:31", "0:24", "0:38", "0:27", "0:34"};
        for (size_t i = 0; i < listing.rows.size(); ++i) {
            EXPECT_EQ(listing.rows[i].number, std::to_string(i + 1));
            EXPECT_EQ(listing.rows[i].title, album.trackTitles[i]);
            EXPECT_EQ(listing.rows[i].duration, durations[i]);
            EXPECT_TRUE(listing.rows[i].checked);
        }
        EXPECT_FALSE(drives.ProbeDiscChange());
    }
    fs::remove_all(root);
}

// An Enhanced CD: the last audio track lasts as long as its audio, not up to
// the data session, whose gap the TOC counts in; before a data track of the
// same session the list keeps the TOC's length (up to the data track).
TEST(DemoDisc, TheLastAudioTrackBeforeTheDataSessionLastsAsLongAsItsAudio) {
    const test::TempDir tmp;
    for (const int session : {2, 1}) {
        discgen::DiscDescription disc;
        disc.tracks = {{.frames = 900},
                       {.frames = 2250},
                       {.frames = 600, .mode = discgen::TrackMode::Mode1Raw, .session = session}};
        const fs::path folder = tmp.path() / std::to_string(session);
        ASSERT_TRUE(discgen::WriteDiscImage(disc, folder, "disc"));
        setenv("CADRIX_MODULE_DIR", CADRIX_REAL_MODULE_DIR, 1);
        setenv("CADRIX_VIRTUAL_DRIVES", folder.c_str(), 1);
        DriveSet drives;
        ASSERT_TRUE(drives.InitAKRip());
        drives.ReadDisc(drives.driveCount - 1);
        const DriveRecord& record = drives.drives[static_cast<size_t>(drives.driveCount - 1)];
        ASSERT_EQ(record.trackCount, 3);
        const size_t audioFrames = session == 2 ? discgen::ExpectedTrackPcm(disc, 2).size() / 2352 : 2250;
        EXPECT_EQ(record.tracks[2].lengthMs, FramesToMs(static_cast<uint32_t>(audioFrames))) << session;
        EXPECT_EQ(FillTrackList(record).rows[1].duration, "0:30") << session;
    }
}

}  // namespace
}  // namespace cadrix
