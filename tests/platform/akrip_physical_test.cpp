// The real-drive backend (libcdio + paranoia) on a CDRWIN image opened
// through libcdio's own image driver: everything but the device itself.
#include <gtest/gtest.h>

#include <cdio/paranoia/cdda.h>

#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include "akrip_fixture.h"
#include "physical_drive.h"

namespace akrip {
namespace {

using akrip_test::Bytes;
using akrip_test::kFrameBytes;

Bytes AllTracks() {
    return akrip_test::Concat({akrip_test::Track(0), akrip_test::Track(1), akrip_test::Track(2), akrip_test::Track(3)});
}

// libcdio reads "<name>.bin" beside "<name>.cue", whatever FILE says.
std::string WriteImage(const akrip_test::TempDir& dir) {
    akrip_test::WriteFile(dir / "audio.bin", AllTracks());
    akrip_test::WriteText(dir / "audio.cue",
                          "FILE \"audio.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n TRACK 02 AUDIO\n"
                          "  INDEX 01 00:03:00\n TRACK 03 AUDIO\n  INDEX 01 00:07:15\n TRACK 04 AUDIO\n"
                          "  INDEX 01 00:12:53\n");
    return dir / "audio.cue";
}

// Reads [start, start + frames) in requests of 27 frames.
Bytes ReadRange(PhysicalDrive& drive, uint32_t start, uint32_t frames) {
    Bytes out(size_t{frames} * kFrameBytes);
    uint32_t done = 0;
    while (done < frames) {
        const uint32_t got = drive.ReadAudio(start + done, std::min(27u, frames - done),
                                             out.data() + size_t{done} * kFrameBytes);
        if (got == 0) {
            ADD_FAILURE() << "read failed at " << start + done;
            break;
        }
        done += got;
    }
    return out;
}

TEST(AkripPhysicalDrive, TocFromLibcdio) {
    akrip_test::TempDir dir;
    PhysicalDrive drive(WriteImage(dir), true);
    const DiscToc toc = drive.ReadToc();
    ASSERT_EQ(toc.tracks.size(), 4u);
    EXPECT_EQ(toc.tracks[1].start, 225);
    EXPECT_EQ(toc.tracks[3].start, 953);
    EXPECT_EQ(toc.leadOut, 1403);
    EXPECT_TRUE(toc.tracks[0].IsAudio());
}

TEST(AkripPhysicalDrive, ParanoiaReadsAreExactInOrderAndAfterSeeks) {
    akrip_test::TempDir dir;
    PhysicalDrive drive(WriteImage(dir), true);
    ASSERT_FALSE(drive.ReadToc().Empty());
    const Bytes all = AllTracks();
    EXPECT_TRUE(ReadRange(drive, 0, 1403) == all);
    // Out of order: each request seeks.
    Bytes block(27 * kFrameBytes);
    for (uint32_t start : {900u, 17u, 1376u, 540u}) {
        ASSERT_EQ(drive.ReadAudio(start, 27, block.data()), 27u);
        EXPECT_EQ(std::memcmp(block.data(), all.data() + size_t{start} * kFrameBytes, block.size()), 0) << start;
    }
}

TEST(AkripPhysicalDrive, NeverReadsPastTheLastAudioSector) {
    akrip_test::TempDir dir;
    PhysicalDrive drive(WriteImage(dir), true);
    ASSERT_FALSE(drive.ReadToc().Empty());
    const Bytes all = AllTracks();
    Bytes block(27 * kFrameBytes);
    ASSERT_EQ(drive.ReadAudio(1390, 27, block.data()), 13u);
    EXPECT_EQ(std::memcmp(block.data(), all.data() + 1390 * kFrameBytes, 13 * kFrameBytes), 0);
    EXPECT_EQ(drive.ReadAudio(1403, 27, block.data()), 0u);  // paranoia would hang here
    EXPECT_EQ(drive.ReadAudio(5000, 1, block.data()), 0u);
    EXPECT_EQ(drive.ReadAudio(-1, 1, block.data()), 0u);
}

TEST(AkripPhysicalDrive, ParanoiaCorrectsJitter) {
    akrip_test::TempDir dir;
    PhysicalDrive drive(WriteImage(dir), true);
    drive.SimulateReadFaults(CDDA_TEST_JITTER_SMALL);
    ASSERT_FALSE(drive.ReadToc().Empty());
#if defined(__SANITIZE_ADDRESS__)
    // libcdio's fault simulation leaks a buffer of its own.
    __lsan::ScopedDisabler simulationLeaks;
#endif
    EXPECT_TRUE(ReadRange(drive, 0, 1403) == AllTracks());
}

TEST(AkripPhysicalDrive, MissingDeviceIsNoDisc) {
    PhysicalDrive drive("/dev/akrip-test-no-such-drive");
    EXPECT_TRUE(drive.ReadToc().Empty());
    Bytes block(kFrameBytes);
    EXPECT_EQ(drive.ReadAudio(0, 1, block.data()), 0u);
}

}  // namespace
}  // namespace akrip
