// Drives and discs through the real binding, against the fake akrip.so.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "disc/drive_set.h"
#include "fake_akrip_control.h"
#include "names/drive_names.h"
#include "temp_dir.h"

namespace cadrix {
namespace {

namespace fs = std::filesystem;
using test::FakeAkrip;
using test::MakeToc;

const TocBuffer kTwelveTracks = MakeToc(
    {0, 13'500, 27'000, 40'000, 50'000, 60'000, 70'000, 80'000, 90'000, 100'000, 110'000, 120'000, 130'000});
const TocBuffer kThreeTracks = MakeToc({0, 10'000, 20'000, 30'000});

class DriveSetTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { fake_ = std::make_unique<FakeAkrip>(); }
    static void TearDownTestSuite() { fake_.reset(); }

    void SetUp() override {
        fake().Reset();
        setenv("CADRIX_MODULE_DIR", fake().Dir().c_str(), 1);
        tmp_ = std::make_unique<test::TempDir>();
        root_ = tmp_->path();
    }
    void TearDown() override { tmp_.reset(); }

    static FakeAkrip& fake() { return *fake_; }

    // `count` drives named "DRIVE k", each with the given disc, all read.
    void StartWith(int count, const TocBuffer& toc, uint32_t firstId = 0x100) {
        fake().SetDriveCount(count);
        for (int k = 0; k < count; ++k) {
            fake().SetDriveName(k, ("DRIVE " + std::to_string(k)).c_str());
            fake().SetToc(k, toc);
            fake().SetDiscId(k, firstId + static_cast<uint32_t>(k));
        }
        ASSERT_TRUE(drives.InitAKRip());
        for (int k = 0; k < drives.driveCount; ++k) drives.ReadDisc(k);
    }

    void WriteDatabase(uint32_t id, std::string_view text) {
        fs::create_directories(root_ / "db");
        std::ofstream(DiscDatabasePathFor(id), std::ios::binary) << text;
        drives.dataDir = (root_ / "db").string() + "/";
        drives.nameReader = ReadDatabaseNames;
    }
    std::string DiscDatabasePathFor(uint32_t id) const {
        char name[16];
        snprintf(name, sizeof name, "%x.cdb", id);
        return (root_ / "db" / name).string();
    }

    static inline std::unique_ptr<FakeAkrip> fake_;
    std::unique_ptr<test::TempDir> tmp_;
    fs::path root_;
    DriveSet drives;
};

TEST_F(DriveSetTest, MissingLibraryFailsWithNothingOpened) {
    const std::string empty = (root_ / "nothing").string();
    fs::create_directories(empty);
    setenv("CADRIX_MODULE_DIR", empty.c_str(), 1);
    // The standard search must not find a library either. (The program's own
    // module folder does not exist beside this test's executable.)
    if (void* system = dlopen("akrip.so", RTLD_LAZY | RTLD_LOCAL)) {
        dlclose(system);
        GTEST_SKIP() << "an akrip.so is on the standard search path";
    }
    fake().SetDriveCount(1);
    EXPECT_FALSE(drives.InitAKRip());
    EXPECT_FALSE(drives.akrip.IsBound());
    EXPECT_EQ(fake().LogSize(), 0);
}

TEST_F(DriveSetTest, LibraryWithoutReadAudioIsUnloadedAgain) {
    const std::string dir = test::FakeModuleDirWithoutReadAudio();
    const std::string path = dir + "/akrip.so";
    setenv("CADRIX_MODULE_DIR", dir.c_str(), 1);
    EXPECT_FALSE(drives.InitAKRip());
    EXPECT_FALSE(drives.akrip.IsBound());
    EXPECT_EQ(drives.akrip.GetCDList, nullptr);
    EXPECT_EQ(dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr) << "still loaded";
}

TEST_F(DriveSetTest, NoDrivesFailsAndUnloads) {
    fake().SetDriveCount(0);
    EXPECT_FALSE(drives.InitAKRip());
    EXPECT_FALSE(drives.akrip.IsBound());
    EXPECT_EQ(drives.driveCount, 0);
    EXPECT_EQ(fake().CallCount("GetCDList"), 1);
    EXPECT_EQ(fake().CallCount("GetCDHandle"), 0);
}

TEST_F(DriveSetTest, OpensEachDriveWithTheDocumentedRequest) {
    fake().SetDriveCount(2);
    fake().SetDriveAddress(1, 3, 5, 1);
    ASSERT_TRUE(drives.InitAKRip());
    EXPECT_EQ(drives.driveCount, 2);
    EXPECT_EQ(drives.currentDrive, 0);
    EXPECT_EQ(drives.drives[0].handle, 0x100u);
    EXPECT_EQ(drives.drives[1].handle, 0x101u);
    const HandleRequest request = fake().LastHandleRequest(1);
    EXPECT_EQ(request.size, 12);
    EXPECT_EQ(request.version, 1);
    EXPECT_EQ(request.hostAdapter, 3);
    EXPECT_EQ(request.target, 5);
    EXPECT_EQ(request.lun, 1);
    EXPECT_EQ(request.readType, 0);
    const uint32_t jitterCorrection = request.jitterCorrection;  // packed field
    EXPECT_EQ(jitterCorrection, 0u);
    EXPECT_EQ(request.jitterFrames, 1);
    EXPECT_EQ(request.overlapFrames, 3);
}

TEST_F(DriveSetTest, AtMostEightDrivesAreOpened) {
    fake().SetDriveCount(11);
    ASSERT_TRUE(drives.InitAKRip());
    EXPECT_EQ(drives.driveCount, 8);
    EXPECT_EQ(fake().CallCount("GetCDHandle"), 8);
    EXPECT_EQ(drives.drives[7].handle, 0x107u);
    drives.Release();
    EXPECT_EQ(fake().OpenHandles(), 0);
}

TEST_F(DriveSetTest, TrailingBlanksAreTrimmedFromNames) {
    fake().SetDriveCount(4);
    fake().SetDriveName(0, "CDRW-ABC1234    ");
    fake().SetDriveName(1, "                ");
    fake().SetDriveName(2, " LEAD\tTAB  X  ");
    fake().SetDriveName(3, "SIXTEEN-CHARS-XY");
    ASSERT_TRUE(drives.InitAKRip());
    EXPECT_EQ(drives.drives[0].name, "CDRW-ABC1234");
    EXPECT_EQ(drives.drives[1].name, "");
    EXPECT_EQ(drives.drives[2].name, " LEAD\tTAB  X");
    EXPECT_EQ(drives.drives[3].name, "SIXTEEN-CHARS-XY");
}

TEST_F(DriveSetTest, ZeroHandleKeepsTheDriveWithoutDisc) {
    fake().SetDriveCount(2);
    fake().SetHandle(0, 0);
    fake().SetToc(0, kThreeTracks);
    fake().SetToc(1, kThreeTracks);
    fake().SetDiscId(1, 0x55);
    ASSERT_TRUE(drives.InitAKRip());
    EXPECT_EQ(drives.driveCount, 2);
    EXPECT_EQ(drives.drives[0].handle, 0u);
    drives.ReadDisc(0);
    drives.ReadDisc(1);
    EXPECT_EQ(drives.drives[0].trackCount, 0);
    EXPECT_EQ(drives.drives[0].discId, 0u);
    EXPECT_EQ(drives.drives[1].trackCount, 3);

    fake().ClearLog();
    drives.Release();
    EXPECT_EQ(fake().CallCount("CloseCDHandle"), 1);
    EXPECT_EQ(fake().LogEntry(0).handle, 0x101u);
    EXPECT_FALSE(drives.akrip.IsBound());
    drives.Release();  // a second release does nothing
    EXPECT_EQ(fake().CallCount("CloseCDHandle"), 1);
}

TEST_F(DriveSetTest, FullReadSwitchesMsfOffEveryTime) {
    StartWith(1, kTwelveTracks, 0xA50B9C0C);
    const DriveRecord& record = drives.drives[0];
    EXPECT_EQ(record.trackCount, 12);
    EXPECT_EQ(record.discId, 0xA50B9C0Cu);
    EXPECT_EQ(record.tracks[1].lengthMs, 180'000u);  // LBA addresses, not MSF
    EXPECT_EQ(TocAddress(record.toc.entries[12]), 130'000u);

    fake().ClearLog();
    drives.ReadDisc(0);
    ASSERT_EQ(fake().LogSize(), 3);
    const FakeAkripCall modify = fake().LogEntry(0);
    EXPECT_STREQ(modify.function, "ModifyCDParms");
    EXPECT_EQ(modify.handle, 0x100u);
    EXPECT_EQ(modify.a, 36);
    EXPECT_EQ(modify.b, 0);
    EXPECT_STREQ(fake().LogEntry(1).function, "ReadTOC");
    const FakeAkripCall id = fake().LogEntry(2);
    EXPECT_STREQ(id.function, "GetCDDBDiskID");
    EXPECT_EQ(id.a, 15);  // last track + 3 words
}

TEST_F(DriveSetTest, NinetyNineTracksGetAllTheirIdWords) {
    TocBuffer toc{};
    toc.lastTrack = 99;
    for (int k = 0; k <= 99; ++k) SetTocAddress(toc.entries[k], 1000u * static_cast<uint32_t>(k));
    StartWith(1, toc, 0x77);
    EXPECT_EQ(drives.drives[0].trackCount, 99);
    EXPECT_EQ(drives.drives[0].tracks[99].selected, 1);
    EXPECT_EQ(drives.drives[0].discId, 0x77u);
}

TEST_F(DriveSetTest, DamagedTocIsNoDisc) {
    fake().SetDriveCount(3);
    TocBuffer tooMany{};
    tooMany.lastTrack = 120;
    for (int k = 0; k < AKRIP_TOC_ENTRIES; ++k) SetTocAddress(tooMany.entries[k], 100u * static_cast<uint32_t>(k));
    fake().SetToc(0, tooMany);
    fake().SetToc(1, MakeToc({0, 5000, 4000, 9000}));
    fake().SetToc(2, MakeToc({0, 5000, 9000, 9000}));
    for (int k = 0; k < 3; ++k) fake().SetDiscId(k, 0x42);
    ASSERT_TRUE(drives.InitAKRip());
    WriteDatabase(0x42, "DTITLE=Must not be read\n");
    for (int k = 0; k < 3; ++k) {
        drives.ReadDisc(k);
        const DriveRecord& record = drives.drives[k];
        EXPECT_EQ(record.trackCount, 0) << k;
        EXPECT_EQ(record.discId, 0u) << k;
        EXPECT_EQ(record.toc.lastTrack, 0) << k;
        EXPECT_EQ(record.discTitle, "") << k;
        EXPECT_TRUE(FillTrackList(record).rows.empty());
    }
    EXPECT_EQ(fake().CallCount("GetCDDBDiskID"), 0);

    // A probe sees the same damaged TOC as no disc, so nothing changed.
    fake().ClearLog();
    EXPECT_FALSE(drives.ProbeDiscChange());
    EXPECT_EQ(fake().CallCount("ModifyCDParms"), 0);
}

TEST_F(DriveSetTest, DatabaseNamesTheDisc) {
    fake().SetDriveCount(1);
    fake().SetToc(0, kThreeTracks);
    fake().SetDiscId(0, 0x0000ABCD);
    ASSERT_TRUE(drives.InitAKRip());
    WriteDatabase(0xABCD,
                  "DARTIST=Band\r\nDTITLE=Live\r\nDSET=1\r\nDSETNUMBER=2\r\nDGENRE1=271\r\n"
                  "TTITLE1=Opening\r\nTTITLE3=Encore\r\nTTITLE50=Hidden\r\n");
    drives.ReadDisc(0);
    const DriveRecord& record = drives.drives[0];
    EXPECT_EQ(record.discTitle, "Live (2)");
    EXPECT_EQ(record.genre, "General World");
    EXPECT_EQ(record.tracks[50].title, "Hidden");
    const TrackListing listing = FillTrackList(record);
    EXPECT_EQ(listing.caption, "Band - Live (2)");
    ASSERT_EQ(listing.rows.size(), 3u);
    EXPECT_EQ(listing.rows[0].title, "Opening");
    EXPECT_EQ(listing.rows[1].title, "Untitled Track");
    EXPECT_EQ(listing.rows[2].title, "Encore");
}

TEST_F(DriveSetTest, ProbeWithTheSameDiscKeepsTheSelection) {
    StartWith(2, kThreeTracks);
    drives.drives[0].tracks[2].selected = 0;
    fake().ClearLog();
    EXPECT_FALSE(drives.ProbeDiscChange());
    EXPECT_EQ(drives.drives[0].tracks[2].selected, 0);
    EXPECT_EQ(fake().CallCount("ReadTOC"), 2);
    EXPECT_EQ(fake().CallCount("ModifyCDParms"), 0);  // the probe uses the last setting
}

TEST_F(DriveSetTest, ProbeAfterRemovalLeavesNoTracks) {
    StartWith(1, kThreeTracks);
    fake().ClearToc(0);
    EXPECT_TRUE(drives.ProbeDiscChange());
    EXPECT_EQ(drives.drives[0].discId, 0u);
    EXPECT_EQ(drives.drives[0].trackCount, 0);
    EXPECT_TRUE(FillTrackList(drives.drives[0]).rows.empty());
    EXPECT_FALSE(drives.ProbeDiscChange());  // still empty: nothing new
}

TEST_F(DriveSetTest, ProbeReadsANewDiscAndResetsTheSelection) {
    StartWith(1, kThreeTracks, 0x10);
    drives.drives[0].tracks[1].selected = 0;
    fake().SetToc(0, kTwelveTracks);
    fake().SetDiscId(0, 0x20);
    EXPECT_TRUE(drives.ProbeDiscChange());
    EXPECT_EQ(drives.drives[0].discId, 0x20u);
    EXPECT_EQ(drives.drives[0].trackCount, 12);
    EXPECT_EQ(drives.drives[0].tracks[1].selected, 1);
}

TEST_F(DriveSetTest, ChangeOnAnotherDriveIsReadButNotReported) {
    StartWith(3, kThreeTracks);
    drives.currentDrive = 1;
    drives.drives[1].tracks[3].selected = 0;
    fake().SetToc(2, kTwelveTracks);
    fake().SetDiscId(2, 0x999);
    EXPECT_FALSE(drives.ProbeDiscChange());
    EXPECT_EQ(drives.drives[2].trackCount, 12);
    EXPECT_EQ(drives.drives[1].tracks[3].selected, 0);
}

TEST_F(DriveSetTest, UncheckedTrackSurvivesSwitchingTabs) {
    StartWith(2, kThreeTracks);
    drives.drives[0].tracks[3].selected = 0;
    drives.currentDrive = 1;
    EXPECT_EQ(FillTrackList(drives.drives[drives.currentDrive]).rows.size(), 3u);
    drives.currentDrive = 0;
    const TrackListing listing = FillTrackList(drives.drives[drives.currentDrive]);
    ASSERT_EQ(listing.rows.size(), 3u);
    EXPECT_FALSE(listing.rows[2].checked);
    EXPECT_TRUE(listing.rows[1].checked);
}

TEST_F(DriveSetTest, ChangeOnTheExtractingDriveWaitsForTheEndOfTheRun) {
    StartWith(2, kThreeTracks, 0x10);
    drives.drives[0].tracks[2].selected = 0;
    drives.BeginExtraction(0);

    fake().ClearToc(0);
    fake().SetToc(1, kTwelveTracks);
    fake().SetDiscId(1, 0x77);
    fake().ClearLog();
    EXPECT_FALSE(drives.ProbeDiscChange());
    // The busy drive's record is untouched and was not read again ...
    EXPECT_EQ(drives.drives[0].discId, 0x10u);
    EXPECT_EQ(drives.drives[0].trackCount, 3);
    EXPECT_EQ(drives.drives[0].tracks[2].selected, 0);
    EXPECT_TRUE(drives.RereadPending());
    for (int i = 0; i < fake().LogSize(); ++i) {
        const FakeAkripCall call = fake().LogEntry(i);
        if (call.handle == 0x100u) {
            EXPECT_STREQ(call.function, "ReadTOC");
        }
    }
    // ... while the other drive is read at once.
    EXPECT_EQ(drives.drives[1].discId, 0x77u);

    EXPECT_TRUE(drives.EndExtraction());
    EXPECT_EQ(drives.drives[0].discId, 0u);
    EXPECT_EQ(drives.drives[0].trackCount, 0);
    EXPECT_FALSE(drives.EndExtraction());
}

TEST_F(DriveSetTest, RunWithoutDiscChangeEndsQuietly) {
    StartWith(2, kThreeTracks);
    drives.BeginExtraction(1);
    EXPECT_FALSE(drives.ProbeDiscChange());
    drives.drives[1].tracks[1].selected = 0;
    EXPECT_FALSE(drives.EndExtraction());
    EXPECT_EQ(drives.drives[1].tracks[1].selected, 0);

    // A change on a busy drive that is not the current one is applied at
    // the end but not reported.
    drives.BeginExtraction(1);
    fake().ClearToc(1);
    EXPECT_FALSE(drives.ProbeDiscChange());
    EXPECT_FALSE(drives.EndExtraction());
    EXPECT_EQ(drives.drives[1].trackCount, 0);
}

// The worker reads on its own thread while the interface thread probes.
TEST_F(DriveSetTest, ProbeDuringABlockedReadOnTheSameHandle) {
    StartWith(1, kThreeTracks, 0x10);
    drives.BeginExtraction(0);
    fake().BlockOnRead(0, 1);

    std::vector<uint8_t> memory(sizeof(ReadBuffer) + 27 * AKRIP_FRAME_BYTES);
    std::vector<uint8_t> overlapMemory(sizeof(ReadBuffer) + 3 * AKRIP_FRAME_BYTES);
    auto* main = reinterpret_cast<ReadBuffer*>(memory.data());
    auto* overlap = reinterpret_cast<ReadBuffer*>(overlapMemory.data());
    main->capacity = 27 * AKRIP_FRAME_BYTES;
    main->startFrame = 100;
    main->frameCount = 27;
    overlap->capacity = 3 * AKRIP_FRAME_BYTES;

    const ReadCDAudioLBAExProc read = drives.akrip.ReadCDAudioLBAEx;
    const HCDROM handle = drives.drives[0].handle;
    std::atomic<int32_t> result{-1};
    std::thread worker([&] { result.store(read(handle, main, overlap), std::memory_order_release); });
    ASSERT_TRUE(fake().WaitForBlockedRead(10'000));

    fake().SetToc(0, kTwelveTracks);
    fake().SetDiscId(0, 0x20);
    EXPECT_FALSE(drives.ProbeDiscChange());
    EXPECT_EQ(drives.drives[0].trackCount, 3);
    fake().ReleaseBlockedRead();
    worker.join();

    EXPECT_EQ(result.load(std::memory_order_acquire), 1);
    const uint32_t validBytes = main->validBytes;
    EXPECT_EQ(validBytes, 27u * AKRIP_FRAME_BYTES);
    const uint8_t* data = ReadBufferData(main) + main->dataOffset;
    EXPECT_EQ(data[0], test::FakeAudioByte(100, 0));
    EXPECT_EQ(data[26 * AKRIP_FRAME_BYTES + 2351], test::FakeAudioByte(126, 2351));

    EXPECT_TRUE(drives.EndExtraction());
    EXPECT_EQ(drives.drives[0].trackCount, 12);
}

}  // namespace
}  // namespace cadrix
