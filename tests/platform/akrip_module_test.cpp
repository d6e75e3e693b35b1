// akrip.so as the program sees it: its exports, the drive list, handles,
// TOC addressing, the disc-id words and the edges of ReadCDAudioLBAEx.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>

#include "akrip_fixture.h"

namespace akrip_test {
namespace {

Bytes AllTracks() { return Concat({Track(0), Track(1), Track(2), Track(3)}); }

void WriteReferenceDisc(const TempDir& dir) {
    WriteFile(dir / "audio.bin", AllTracks());
    WriteText(dir / "audio.cue",
              "FILE \"audio.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n TRACK 02 AUDIO\n"
              "  INDEX 01 00:03:00\n TRACK 03 AUDIO\n  INDEX 01 00:07:15\n TRACK 04 AUDIO\n  INDEX 01 00:12:53\n");
}

// An Enhanced CD: four audio tracks, then a data track in session 2.
void WriteEnhancedDisc(const TempDir& dir) {
    WriteFile(dir / "audio.bin", AllTracks());
    WriteFile(dir / "data.bin", Bytes(185 * kFrameBytes, 0x42));
    WriteText(dir / "cdextra.cue",
              "FILE \"audio.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n TRACK 02 AUDIO\n"
              "  INDEX 01 00:03:00\n TRACK 03 AUDIO\n  INDEX 01 00:07:15\n TRACK 04 AUDIO\n  INDEX 01 00:12:53\n"
              "REM SESSION 02\nFILE \"data.bin\" BINARY\n TRACK 05 MODE1/2352\n  INDEX 01 00:00:00\n");
}

TEST(AkripModule, ExportsTheSevenEntryPointsAndTheOptionalOnes) {
    FILE* pipe = ::popen("nm -D --defined-only " AKRIP_MODULE_PATH, "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> exported;
    char line[512];
    while (std::fgets(line, sizeof line, pipe)) {
        char address[64], type[8], name[400];
        if (std::sscanf(line, "%63s %7s %399s", address, type, name) == 3) exported.insert(name);
    }
    ASSERT_EQ(::pclose(pipe), 0);
    const std::set<std::string> expected = {
        "GetCDList",         "GetCDHandle",       "CloseCDHandle",     "ModifyCDParms",         "ReadTOC",
        "ReadCDAudioLBAEx",  "GetCDDBDiskID",     "AkripSetReadAbort", "AkripTakeReadStats",    "AkripSetReadOffset",
        "AkripGetCdText",    "AkripSetReadMode",  "AkripGetDriveInfo", "AkripGetTrackSessions", "AkripGetTrackRange",
        "AkripSetReadAhead", "AkripGetDiscLayout"};
    EXPECT_EQ(exported, expected);

    Akrip akrip;
    EXPECT_TRUE(akrip.GetCDList && akrip.GetCDHandle && akrip.CloseCDHandle && akrip.ModifyCDParms && akrip.ReadTOC &&
                akrip.ReadCDAudioLBAEx && akrip.GetCDDBDiskID);
}

TEST(AkripModule, VirtualDriveListFromEnvironment) {
    Akrip akrip;
    ::setenv("CADRIX_VIRTUAL_DRIVES", "::/discs/first::/discs/a-folder-name-longer-than-16/:", 1);
    DriveListBuffer list{};
    akrip.GetCDList(&list);
    std::vector<std::string> names;
    std::vector<int> adapters;
    for (int k = 0; k < list.count; ++k) {
        if (list.entries[k].hostAdapter < 200) continue;  // a real drive of this machine
        names.emplace_back(list.entries[k].productId);
        adapters.push_back(list.entries[k].hostAdapter);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"first", "a-folder-name-lo"}));
    ASSERT_EQ(adapters.size(), 2u);
    EXPECT_NE(adapters[0], adapters[1]);

    // The same seen as the 970 bytes the program reads: count at 1, entry k
    // at 2 + 121 k with its address in bytes 0..2 and the text at 78.
    const auto* raw = reinterpret_cast<const uint8_t*>(&list);
    EXPECT_EQ(raw[1], list.count);
    const size_t last = 2 + 121 * size_t(list.count - 1);
    EXPECT_EQ(raw[last], adapters[1]);
    EXPECT_EQ(std::memcmp(raw + last + 78, "a-folder-name-lo", 17), 0);
}

TEST(AkripModule, DriveListHoldsAtMostEight) {
    Akrip akrip;
    std::string folders;
    for (int k = 0; k < 11; ++k) folders += "/nowhere/drive" + std::to_string(k) + ":";
    ::setenv("CADRIX_VIRTUAL_DRIVES", folders.c_str(), 1);
    DriveListBuffer list{};
    akrip.GetCDList(&list);
    EXPECT_EQ(list.count, 8);
    int expected = 0;
    for (int k = 0; k < 8; ++k) {
        if (list.entries[k].hostAdapter < 200) continue;
        EXPECT_EQ(std::string(list.entries[k].productId), "drive" + std::to_string(expected++));
    }
    // Each listed drive opens; a folder that does not exist is a drive without a disc.
    HandleRequest request{12, 1, list.entries[7].hostAdapter, list.entries[7].target, list.entries[7].lun, 0, 0, 1, 3};
    const HCDROM handle = akrip.GetCDHandle(&request);
    ASSERT_NE(handle, 0u);
    TocBuffer toc{};
    EXPECT_EQ(akrip.ReadTOC(handle, &toc), 0);
    EXPECT_EQ(toc.lastTrack, 0);
}

TEST(AkripModule, UnknownAddressAndBadHandlesFail) {
    Akrip akrip;
    ::setenv("CADRIX_VIRTUAL_DRIVES", "", 1);
    DriveListBuffer list{};
    akrip.GetCDList(&list);
    HandleRequest request{12, 1, 250, 9, 9, 0, 0, 1, 3};
    EXPECT_EQ(akrip.GetCDHandle(&request), 0u);
    EXPECT_EQ(akrip.GetCDHandle(nullptr), 0u);
    TocBuffer toc{};
    EXPECT_EQ(akrip.ReadTOC(0, &toc), 0);
    EXPECT_EQ(akrip.ReadTOC(12345, &toc), 0);
    EXPECT_EQ(akrip.GetCDDBDiskID(0, nullptr, 0), 0u);
    EXPECT_EQ(akrip.ModifyCDParms(0, AKRIP_PARM_MSF, 0), 0);
    EXPECT_EQ(akrip.CloseCDHandle(0), 0);
    ReadBlock block;
    EXPECT_EQ(block.Read(akrip, 0, 0, 1), 0);
    EXPECT_EQ(akrip.ReadCDAudioLBAEx(0, nullptr, nullptr), 0);
}

TEST(AkripModule, TocIsMsfUntilSwitchedOffPerHandle) {
    TempDir dir;
    WriteReferenceDisc(dir);
    Akrip akrip;
    const HCDROM first = akrip.OpenFolder(dir.Path());
    const HCDROM second = akrip.OpenFolder(dir.Path());
    ASSERT_NE(first, 0u);
    ASSERT_NE(second, first);

    TocBuffer toc{};
    ASSERT_EQ(akrip.ReadTOC(first, &toc), 1);
    EXPECT_EQ(toc.length[0] * 256 + toc.length[1], 2 + 8 * 5);
    EXPECT_EQ(toc.firstTrack, 1);
    EXPECT_EQ(toc.lastTrack, 4);
    // Track 2 at LSN 225 = 0:05:00 with the 150-frame offset; lead-out 1403 = 0:20:53.
    const uint8_t track2[8] = {0, 0x10, 2, 0, 0, 0, 5, 0};
    const uint8_t leadOut[8] = {0, 0x10, 0xAA, 0, 0, 0, 20, 53};
    EXPECT_EQ(std::memcmp(&toc.entries[1], track2, 8), 0);
    EXPECT_EQ(std::memcmp(&toc.entries[4], leadOut, 8), 0);

    ASSERT_EQ(akrip.ModifyCDParms(first, AKRIP_PARM_MSF, 0), 1);
    ASSERT_EQ(akrip.ReadTOC(first, &toc), 1);
    const uint8_t track4[8] = {0, 0x10, 4, 0, 0, 0, 0x03, 0xB9};  // 953
    EXPECT_EQ(std::memcmp(&toc.entries[3], track4, 8), 0);
    EXPECT_EQ(TocAddress(toc.entries[4]), 1403u);

    ASSERT_EQ(akrip.ReadTOC(second, &toc), 1);
    EXPECT_EQ(TocAddress(toc.entries[4]), (20u << 8) | 53u);
}

TEST(AkripModule, DiscIdWords) {
    TempDir dir;
    WriteReferenceDisc(dir);
    Akrip akrip;
    const HCDROM handle = akrip.OpenFolder(dir.Path());
    std::vector<uint32_t> words(7 + 2, 0xEEEEEEEE);
    EXPECT_EQ(akrip.GetCDDBDiskID(handle, words.data(), 7), 0x15001204u);
    EXPECT_EQ(words, (std::vector<uint32_t>{0x15001204, 4, 150, 375, 690, 1103, 20, 0xEEEEEEEE, 0xEEEEEEEE}));
    // A short array is filled only as far as it goes.
    uint32_t one[2] = {0, 0xEEEEEEEE};
    EXPECT_EQ(akrip.GetCDDBDiskID(handle, one, 1), 0x15001204u);
    EXPECT_EQ(one[1], 0xEEEEEEEEu);
}

// A run keeps the disc it started on: once another image is in the folder
// and a TOC read has seen it, the run's next read fails instead of reading
// on from the new disc; a new run (a zeroed overlap buffer) reads the new one.
TEST(AkripModule, AnImageSwappedDuringARunFailsTheRunsReads) {
    TempDir dir;
    WriteReferenceDisc(dir);
    Akrip akrip;
    const HCDROM handle = akrip.OpenFolder(dir.Path());
    TocBuffer toc{};
    ASSERT_EQ(akrip.ReadTOC(handle, &toc), 1);
    std::vector<uint64_t> overlapStorage((sizeof(ReadBuffer) + 3 * kFrameBytes + 7) / 8);
    auto* overlap = reinterpret_cast<ReadBuffer*>(overlapStorage.data());
    ReadBlock block;
    auto read = [&](uint32_t start) {
        block.Header()->startFrame = start;
        block.Header()->frameCount = 27;
        return akrip.ReadCDAudioLBAEx(handle, block.Header(), overlap);
    };
    ASSERT_EQ(read(0), 1);
    ASSERT_EQ(akrip.ReadTOC(handle, &toc), 1);  // the same disc: the run goes on
    ASSERT_EQ(read(27), 1);

    WriteFile(dir / "audio.bin", Concat({Track(3), Track(2), Track(1), Track(0)}));  // another disc
    ASSERT_EQ(akrip.ReadTOC(handle, &toc), 1);
    EXPECT_EQ(read(54), 0);
    std::memset(overlap, 0, sizeof(ReadBuffer));
    ASSERT_EQ(read(0), 1);
    EXPECT_EQ(std::memcmp(block.Data(), Track(3).data(), 27 * kFrameBytes), 0);
}

TEST(AkripModule, ReadsAtTheLeadOut) {
    TempDir dir;
    WriteReferenceDisc(dir);
    Akrip akrip;
    const HCDROM handle = akrip.OpenFolder(dir.Path());
    const Bytes all = AllTracks();
    ReadBlock block;

    // Running past the lead-out: the frames up to it, the count lowered.
    ASSERT_EQ(block.Read(akrip, handle, 1390, 27), 1);
    EXPECT_EQ(block.Header()->frameCount, 13u);
    EXPECT_EQ(block.Header()->validBytes, 13 * kFrameBytes);
    EXPECT_EQ(block.Header()->dataOffset, 0);
    EXPECT_EQ(std::memcmp(block.Data(), all.data() + 1390 * kFrameBytes, 13 * kFrameBytes), 0);

    ASSERT_EQ(block.Read(akrip, handle, 1402, 1), 1);
    EXPECT_EQ(block.Read(akrip, handle, 1403, 27), 0);
    EXPECT_EQ(block.Header()->validBytes, 0u);
    EXPECT_EQ(block.Read(akrip, handle, 1404, 1), 0);
    EXPECT_EQ(block.Read(akrip, handle, 0xFFFFFFFFu, 27), 0);
    EXPECT_EQ(block.Read(akrip, handle, 0x7FFFFFFFu, 27), 0);
}

TEST(AkripModule, RejectsMalformedRequests) {
    TempDir dir;
    WriteReferenceDisc(dir);
    Akrip akrip;
    const HCDROM handle = akrip.OpenFolder(dir.Path());
    ReadBlock block;
    EXPECT_EQ(block.Read(akrip, handle, 0, 0), 0);
    EXPECT_EQ(block.Read(akrip, handle, 0, 28), 0);
    block.Header()->capacity = 2 * kFrameBytes;
    EXPECT_EQ(block.Read(akrip, handle, 0, 3), 0);  // would overrun the data area
    EXPECT_EQ(block.Read(akrip, handle, 0, 2), 1);
    EXPECT_EQ(akrip.CloseCDHandle(handle), 1);
    EXPECT_EQ(block.Read(akrip, handle, 0, 1), 0);
    EXPECT_EQ(akrip.CloseCDHandle(handle), 0);
}

TEST(AkripModule, EnhancedCdLastAudioTrackEndsAtTheSessionGap) {
    TempDir dir;
    WriteEnhancedDisc(dir);
    Akrip akrip;
    const HCDROM handle = akrip.OpenFolder(dir.Path());
    EXPECT_EQ(akrip.TocLba(handle), (std::vector<uint32_t>{0, 225, 540, 953, 12803, 12988}));
    const Bytes all = AllTracks();
    ReadBlock block;
    // The worker reads track 4 up to the data track; the last block is cut
    // at the session-1 lead-out and the next one, in the gap, fails.
    ASSERT_EQ(block.Read(akrip, handle, 1400, 27), 1);
    EXPECT_EQ(block.Header()->frameCount, 3u);
    EXPECT_EQ(std::memcmp(block.Data(), all.data() + 1400 * kFrameBytes, 3 * kFrameBytes), 0);
    EXPECT_EQ(block.Read(akrip, handle, 1403, 27), 0);
    EXPECT_EQ(block.Read(akrip, handle, 8000, 27), 0);
    EXPECT_EQ(block.Read(akrip, handle, 12803, 27), 0);  // data, not audio
}

TEST(AkripModule, FolderDriveSeesInsertAndEject) {
    TempDir dir;
    Akrip akrip;
    const HCDROM handle = akrip.OpenFolder(dir.Path());
    ASSERT_NE(handle, 0u);
    EXPECT_TRUE(akrip.TocLba(handle).empty());
    EXPECT_EQ(akrip.DiscId(handle), 0u);

    WriteReferenceDisc(dir);  // insert
    EXPECT_EQ(akrip.TocLba(handle).back(), 1403u);
    EXPECT_EQ(akrip.DiscId(handle), 0x15001204u);
    ReadBlock block;
    EXPECT_EQ(block.Read(akrip, handle, 0, 27), 1);

    std::filesystem::rename(dir / "audio.cue", dir / "audio.cue.out");  // eject
    EXPECT_EQ(akrip.DiscId(handle), 0u);
    EXPECT_EQ(block.Read(akrip, handle, 0, 27), 0);

    // Another disc.
    WriteFile(dir / "htoa.bin", Concat({Silence(300), AllTracks()}));
    WriteText(dir / "htoa.cue",
              "FILE \"htoa.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 00 00:00:00\n  INDEX 01 00:04:00\n"
              " TRACK 02 AUDIO\n  INDEX 01 00:07:00\n TRACK 03 AUDIO\n  INDEX 01 00:11:15\n"
              " TRACK 04 AUDIO\n  INDEX 01 00:16:53\n");
    EXPECT_EQ(akrip.DiscId(handle), 0x1c001204u);
}

TEST(AkripModule, DiscIdDescribesTheTocLastRead) {
    TempDir dir;
    WriteReferenceDisc(dir);
    Akrip akrip;
    const HCDROM handle = akrip.OpenFolder(dir.Path());
    ASSERT_NE(handle, 0u);
    TocBuffer toc{};
    akrip.ReadTOC(handle, &toc);
    ASSERT_EQ(toc.lastTrack, 4);

    // The disc is swapped between the TOC read and the id query.
    std::filesystem::rename(dir / "audio.cue", dir / "audio.cue.out");
    std::vector<uint32_t> words(toc.lastTrack + 3u);
    akrip.GetCDDBDiskID(handle, words.data(), static_cast<int32_t>(words.size()));
    EXPECT_EQ(words[0], 0x15001204u);
    // The next TOC read sees the change.
    EXPECT_EQ(akrip.DiscId(handle), 0u);
}

TEST(AkripModule, BrokenSheetDoesNotHideAGoodOne) {
    TempDir dir;
    WriteReferenceDisc(dir);
    WriteText(dir / "0-broken.cue", "FILE \"nothing.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n");
    Akrip akrip;
    const HCDROM handle = akrip.OpenFolder(dir.Path());
    EXPECT_EQ(akrip.DiscId(handle), 0x15001204u);
}

}  // namespace
}  // namespace akrip_test
