// The disc model without a drive: TOC interpretation, track list rows,
// caption and durations.
#include <gtest/gtest.h>

#include "disc/disc_model.h"
#include "fake_akrip_control.h"

namespace cadrix {
namespace {

using test::MakeToc;

DriveRecord RecordWithToc(const TocBuffer& toc) {
    DriveRecord record;
    record.toc = toc;
    EXPECT_TRUE(IsTocUsable(record.toc));
    ApplyToc(record);
    return record;
}

TEST(FormatDuration, UnderAnHourIsMinutesAndSeconds) {
    EXPECT_EQ(FormatDuration(0), "0:00");
    EXPECT_EQ(FormatDuration(999), "0:00");
    EXPECT_EQ(FormatDuration(59'999), "0:59");
    EXPECT_EQ(FormatDuration(65'000), "1:05");
    EXPECT_EQ(FormatDuration(600'000), "10:00");
    EXPECT_EQ(FormatDuration(3'599'999), "59:59");
}

TEST(FormatDuration, FirstHourIsSplitOff) {
    EXPECT_EQ(FormatDuration(3'600'000), "1:00:00");
    EXPECT_EQ(FormatDuration(3'725'000), "1:02:05");
    EXPECT_EQ(FormatDuration(4'440'000), "1:14:00");
    EXPECT_EQ(FormatDuration(5'999'000), "1:39:59");
    EXPECT_EQ(FormatDuration(7'199'999), "1:59:59");
}

TEST(FormatDuration, FromTwoHoursOnWholeHoursAreShown) {
    EXPECT_EQ(FormatDuration(7'200'000), "2:00:00");
    EXPECT_EQ(FormatDuration(36'000'000 + 61'000), "10:01:01");
    EXPECT_EQ(FormatDuration(UINT32_MAX), "1193:02:47");
}

TEST(TrackLengths, FramesBecomeMillisecondsInSixtyFourBits) {
    EXPECT_EQ(FramesToMs(13'500), 180'000u);
    EXPECT_EQ(FramesToMs(333'000), 4'440'000u);  // 74 minutes: overflows 32-bit arithmetic
    EXPECT_EQ(FramesToMs(1), 13u);               // 13.33 truncated
    EXPECT_EQ(FramesToMs(UINT32_MAX), UINT32_MAX);
}

TEST(ApplyToc, TwelveAudioTracksAreAllSelected) {
    const DriveRecord record = RecordWithToc(MakeToc(
        {0, 13'500, 27'000, 40'000, 50'000, 60'000, 70'000, 80'000, 90'000, 100'000, 110'000, 120'000, 130'001}));
    EXPECT_EQ(record.trackCount, 12);
    for (int t = 1; t <= 12; ++t) {
        EXPECT_EQ(record.tracks[t].selected, 1) << t;
        EXPECT_EQ(record.tracks[t].isData, 0) << t;
    }
    EXPECT_EQ(record.tracks[1].lengthMs, 180'000u);
    EXPECT_EQ(record.tracks[12].lengthMs, FramesToMs(10'001));
    EXPECT_EQ(record.tracks[0].lengthMs, 0u);
    EXPECT_EQ(record.tracks[13].lengthMs, 0u);

    const TrackListing listing = FillTrackList(record);
    ASSERT_EQ(listing.rows.size(), 12u);
    for (int t = 1; t <= 12; ++t) {
        const TrackRow& row = listing.rows[t - 1];
        EXPECT_EQ(row.number, std::to_string(t));
        EXPECT_EQ(row.itemData, t);
        EXPECT_TRUE(row.checked);
        EXPECT_EQ(row.title, "Untitled Track");
    }
    EXPECT_EQ(listing.rows[0].duration, "3:00");
    EXPECT_EQ(listing.caption, "Untitled Disc");
}

TEST(ApplyToc, FinalDataTrackIsNeitherSelectedNorListed) {
    const DriveRecord record = RecordWithToc(
        MakeToc({0, 1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000, 9000, 20'000, 30'000}, {11}));
    EXPECT_EQ(record.trackCount, 11);
    EXPECT_EQ(record.tracks[11].isData, 1);
    EXPECT_EQ(record.tracks[11].selected, 0);
    EXPECT_EQ(record.tracks[11].lengthMs, FramesToMs(10'000));
    EXPECT_EQ(record.tracks[10].lengthMs, FramesToMs(11'000));  // runs up to the data track

    const TrackListing listing = FillTrackList(record);
    ASSERT_EQ(listing.rows.size(), 10u);
    EXPECT_EQ(listing.rows.back().itemData, 10);
}

TEST(ApplyToc, FirstTrackDataStartsRowsAtTwo) {
    const DriveRecord record = RecordWithToc(MakeToc({0, 11'400, 20'000, 30'000}, {1}));
    const TrackListing listing = FillTrackList(record);
    ASSERT_EQ(listing.rows.size(), 2u);
    EXPECT_EQ(listing.rows[0].number, "2");
    EXPECT_EQ(listing.rows[0].itemData, 2);
    EXPECT_EQ(listing.rows[1].number, "3");
}

TEST(ApplyToc, SingleSeventyFourMinuteTrack) {
    const DriveRecord record = RecordWithToc(MakeToc({0, 333'000}));
    EXPECT_EQ(record.tracks[1].lengthMs, 4'440'000u);
    EXPECT_EQ(FillTrackList(record).rows.at(0).duration, "1:14:00");
}

TEST(IsTocUsable, RefusesDamagedTables) {
    EXPECT_FALSE(IsTocUsable(TocBuffer{}));                  // no tracks
    EXPECT_FALSE(IsTocUsable(MakeToc({0, 100, 100, 300})));  // empty track
    EXPECT_FALSE(IsTocUsable(MakeToc({0, 500, 300, 900})));  // decreasing start
    EXPECT_FALSE(IsTocUsable(MakeToc({0, 500, 900, 800})));  // lead-out before last start
    EXPECT_TRUE(IsTocUsable(MakeToc({150, 151})));

    TocBuffer tooMany{};
    tooMany.lastTrack = 100;
    for (int k = 0; k < AKRIP_TOC_ENTRIES; ++k) SetTocAddress(tooMany.entries[k], 1000u * k);
    EXPECT_FALSE(IsTocUsable(tooMany));
    tooMany.lastTrack = 255;
    EXPECT_FALSE(IsTocUsable(tooMany));
    tooMany.lastTrack = 99;  // 99 tracks and the lead-out fill the table exactly
    EXPECT_TRUE(IsTocUsable(tooMany));
}

TEST(ClearDisc, KeepsHandleAndNameOnly) {
    DriveRecord record = RecordWithToc(MakeToc({0, 1000, 2000}));
    record.handle = 7;
    record.name = "DRIVE";
    record.discId = 9;
    record.discTitle = "T";
    record.genre = "G";
    record.compilation = 1;
    record.tracks[50].title = "beyond";
    ClearDisc(record);
    EXPECT_EQ(record.handle, 7u);
    EXPECT_EQ(record.name, "DRIVE");
    EXPECT_EQ(record.discId, 0u);
    EXPECT_EQ(record.trackCount, 0);
    EXPECT_EQ(record.toc.lastTrack, 0);
    EXPECT_TRUE(record.discTitle.empty() && record.genre.empty());
    EXPECT_EQ(record.compilation, 0);
    EXPECT_TRUE(record.tracks[50].title.empty());
    EXPECT_EQ(record.tracks[1].selected, 0);
    EXPECT_EQ(record.tracks[1].lengthMs, 0u);
}

class TitleRules : public ::testing::Test {
protected:
    TitleRules() : record(RecordWithToc(MakeToc({0, 1000, 2000, 3000}))) {}
    std::string RowTitle(int track) { return FillTrackList(record).rows.at(track - 1).title; }
    DriveRecord record;
};

TEST_F(TitleRules, CompilationShowsArtistDashTitle) {
    record.compilation = 1;
    record.tracks[1].artist = "Artist";
    record.tracks[1].title = "Song";
    record.tracks[2].title = "Alone";
    record.tracks[3].artist = "Known";
    EXPECT_EQ(RowTitle(1), "Artist - Song");
    EXPECT_EQ(RowTitle(2), "Alone");
    EXPECT_EQ(RowTitle(3), "Untitled Track");
}

TEST_F(TitleRules, TrackArtistIgnoredOutsideCompilations) {
    record.tracks[1].artist = "Artist";
    record.tracks[1].title = "Song";
    EXPECT_EQ(RowTitle(1), "Song");
    record.compilation = -3;  // any nonzero value marks a compilation
    EXPECT_EQ(RowTitle(1), "Artist - Song");
}

TEST_F(TitleRules, TitleIsCutTo255Bytes) {
    record.tracks[1].title = std::string(300, 'x');
    EXPECT_EQ(RowTitle(1), std::string(255, 'x'));
    record.compilation = 1;
    record.tracks[1].artist = std::string(250, 'a');
    EXPECT_EQ(RowTitle(1), std::string(250, 'a') + " - xx");
}

TEST_F(TitleRules, UncheckedTrackStaysUnchecked) {
    record.tracks[3].selected = 0;
    const TrackListing listing = FillTrackList(record);
    EXPECT_TRUE(listing.rows[0].checked);
    EXPECT_FALSE(listing.rows[2].checked);
}

TEST_F(TitleRules, Caption) {
    record.discArtist = "Band";
    record.discTitle = "Album";
    EXPECT_EQ(FillTrackList(record).caption, "Band - Album");
    record.discArtist.clear();
    EXPECT_EQ(FillTrackList(record).caption, "Album");
    record.discArtist = "Band";
    record.discTitle.clear();
    EXPECT_EQ(FillTrackList(record).caption, "Untitled Disc");
}

TEST(FillTrackList, NoTracksGivesNoRowsAndNoCaption) {
    DriveRecord record;
    record.discArtist = "Band";
    record.discTitle = "Album";
    const TrackListing listing = FillTrackList(record);
    EXPECT_TRUE(listing.rows.empty());
    EXPECT_TRUE(listing.caption.empty());
}

TEST(FillTrackList, OnlyDataTracksGiveNoCaption) {
    DriveRecord record = RecordWithToc(MakeToc({0, 5000}, {1}));
    record.discTitle = "Software";
    const TrackListing listing = FillTrackList(record);
    EXPECT_TRUE(listing.rows.empty());
    EXPECT_TRUE(listing.caption.empty());
}

}  // namespace
}  // namespace cadrix
