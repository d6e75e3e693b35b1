// The emulated drive's own rules where no libcdio reader goes: SG_IO, the
// full TOC of an Enhanced CD, refused commands and the empty drive.
#include <gtest/gtest.h>
#include <linux/cdrom.h>
#include <scsi/sg.h>

#include <cstring>
#include <filesystem>
#include <tuple>

#include "data_sector.h"
#include "disc_generator.h"
#include "drive_options.h"
#include "emulated_drive.h"
#include "temp_dir.h"

namespace drivesim {
namespace {

struct Drive {
    explicit Drive(const std::vector<std::string>& args) {
        DriveOptions options;
        std::string error;
        EXPECT_TRUE(ParseDriveOptions(args, options, error)) << error;
        const std::string path = (dir.path() / "state").string();
        EXPECT_TRUE(CreateStateFile(path, SerializeDriveOptions(options), options.noDisc ? -1 : 0));
        state = MapStateFile(path);
        drive.emplace(*state, options);
    }
    // One command through SG_IO; the reply (cut to what came back) or the sense key.
    std::vector<uint8_t> SgIo(std::vector<uint8_t> cdb, size_t length, uint8_t* senseKey) {
        std::vector<uint8_t> data(length), sense(32);
        sg_io_hdr header{};
        header.interface_id = 'S';
        header.cmdp = cdb.data();
        header.cmd_len = static_cast<unsigned char>(cdb.size());
        header.dxferp = data.data();
        header.dxfer_len = static_cast<unsigned>(length);
        header.dxfer_direction = length > 0 ? SG_DXFER_FROM_DEV : SG_DXFER_NONE;
        header.sbp = sense.data();
        header.mx_sb_len = static_cast<unsigned char>(sense.size());
        EXPECT_EQ(drive->Ioctl(SG_IO, &header, false), 0);
        *senseKey = header.status == 0 ? 0 : sense[2] & 0x0F;
        lastSense = header.status == 0 ? 0 : (sense[2] & 0x0F) << 16 | sense[12] << 8 | sense[13];
        data.resize(length - static_cast<size_t>(header.resid));
        return data;
    }
    // READ CD of CD-DA frames; the sense as 0xKKAAQQ in lastSense.
    std::vector<uint8_t> ReadCd(uint32_t lba, uint8_t count) {
        uint8_t key = 0;
        const auto high = static_cast<uint8_t>(lba >> 8);
        const auto low = static_cast<uint8_t>(lba);
        return SgIo({0xBE, 0x04, 0, 0, high, low, 0, 0, count, 0x10, 0, 0}, 2352u * count, &key);
    }
    int Status(unsigned long request) { return drive->Ioctl(request, nullptr, false); }
    cadrix::test::TempDir dir;
    uint32_t lastSense = 0;
    SharedDriveState* state = nullptr;
    std::optional<EmulatedDrive> drive;
};

std::string EnhancedCd(const cadrix::test::TempDir& dir) {
    cadrix::discgen::DiscDescription disc;
    disc.tracks = {{.frames = 300}, {.frames = 200, .mode = cadrix::discgen::TrackMode::Mode1Raw, .session = 2}};
    EXPECT_TRUE(cadrix::discgen::WriteDiscImage(disc, dir.path(), "cd"));
    return (dir.path() / "cd.cue").string();
}

TEST(DriveEmulator, FullTocAndSessionsOfAnEnhancedCd) {
    cadrix::test::TempDir images;
    Drive d({"--image", EnhancedCd(images)});
    uint8_t key = 0;
    // Format 2: A0 first, per session; session 2 starts 11400 after session 1's lead-out.
    const auto full = d.SgIo({0x43, 0x02, 0x02, 0, 0, 0, 0, 0x10, 0, 0}, 4096, &key);
    ASSERT_EQ(key, 0);
    ASSERT_EQ(full.size(), 4u + 11 * 8);
    EXPECT_EQ(full[3], 2);  // last session
    EXPECT_EQ(full[4 + 3], 0xA0);
    EXPECT_EQ(full[4 + 9], 0x00);           // CD-ROM: its data is Mode 1, not XA
    EXPECT_EQ(full[4 + 2 * 11 + 3], 0xA2);  // session 1 lead-out at 300 = 00:06:00
    EXPECT_EQ(full[4 + 2 * 11 + 9], 6);
    EXPECT_EQ(full[4 + 7 * 11 + 3], 2);  // track 2 at 11700 + 150 = 02:38:00
    EXPECT_EQ(full[4 + 7 * 11 + 8], 2);
    EXPECT_EQ(full[4 + 7 * 11 + 9], 38);
    cdrom_multisession multi{};
    multi.addr_format = CDROM_LBA;
    ASSERT_EQ(d.drive->Ioctl(CDROMMULTISESSION, &multi, false), 0);
    EXPECT_EQ(multi.addr.lba, 11700);
    EXPECT_EQ(d.drive->Ioctl(CDROM_DISC_STATUS, nullptr, false), CDS_MIXED);
    // Audio read as data, and data read as audio, are the wrong mode.
    d.SgIo({0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0}, 2048, &key);
    EXPECT_EQ(key, 5);
    d.SgIo({0xBE, 0x04, 0, 0, 0x2D, 0xB4, 0, 0, 1, 0x10, 0, 0}, 2352, &key);
    EXPECT_EQ(key, 5);
    EXPECT_EQ(d.SgIo({0x28, 0, 0, 0, 0x2D, 0xB4, 0, 0, 1, 0}, 2048, &key).size(), 2048u);
    EXPECT_EQ(key, 0);
}

TEST(DriveEmulator, KernelRulesForMediaChangesRefusalsAndTheEmptyDrive) {
    cadrix::test::TempDir images;
    Drive d({"--image", EnhancedCd(images)});
    // A disc put in before the first look is reported once.
    EXPECT_EQ(d.drive->Ioctl(CDROM_MEDIA_CHANGED, nullptr, false), 1);
    EXPECT_EQ(d.drive->Ioctl(CDROM_MEDIA_CHANGED, nullptr, false), 0);
    uint8_t key = 0;
    cdrom_generic_command packet{};
    packet.cmd[0] = 0xBB;  // SET CD SPEED needs a writable open
    EXPECT_EQ(d.drive->Ioctl(CDROM_SEND_PACKET, &packet, false), -1);
    EXPECT_EQ(errno, EPERM);
    EXPECT_EQ(d.drive->Ioctl(CDROM_SEND_PACKET, &packet, true), 0);
    d.SgIo({0xEE, 0, 0, 0, 0, 0}, 0, &key);
    EXPECT_EQ(key, 5);
    EXPECT_EQ(d.drive->Ioctl(0x12345, nullptr, false), -1);
    EXPECT_EQ(d.drive->Ioctl(CDROMEJECT, nullptr, false), 0);
    EXPECT_EQ(d.drive->Ioctl(CDROM_MEDIA_CHANGED, nullptr, false), 1);
    EXPECT_EQ(d.drive->Ioctl(CDROM_DRIVE_STATUS, nullptr, false), CDS_TRAY_OPEN);
    EXPECT_EQ(d.drive->Ioctl(CDROM_DISC_STATUS, nullptr, false), CDS_NO_DISC);
    cdrom_tochdr header{};
    EXPECT_EQ(d.drive->Ioctl(CDROMREADTOCHDR, &header, false), -1);
    EXPECT_EQ(errno, ENOMEDIUM);
    d.SgIo({0x00, 0, 0, 0, 0, 0}, 0, &key);
    EXPECT_EQ(key, 2);
}

// The read that reaches --eject-after-reads still gets its audio; then the
// drive is empty with its tray open until it is closed on the disc again,
// which the next command reports once.
TEST(DriveEmulator, AnEjectLeavesAnEmptyDriveThatAnswersLikeTheKernel) {
    cadrix::test::TempDir images;
    cadrix::discgen::DiscDescription disc;
    disc.tracks = {{.frames = 300}, {.frames = 200, .mode = cadrix::discgen::TrackMode::Mode1Raw, .session = 2}};
    ASSERT_TRUE(cadrix::discgen::WriteDiscImage(disc, images.path(), "cd"));
    Drive d({"--image", (images.path() / "cd.cue").string(), "--eject-after-reads", "2"});
    EXPECT_EQ(d.Status(CDROM_MEDIA_CHANGED), 1);
    EXPECT_EQ(d.ReadCd(10, 2).size(), 2 * 2352u);
    EXPECT_EQ(d.ReadCd(20, 3), cadrix::discgen::ExpectedAudioRange(disc, 20, 3));
    EXPECT_TRUE(d.ReadCd(23, 1).empty());
    EXPECT_EQ(d.lastSense, 0x023A00u);  // NOT READY, MEDIUM NOT PRESENT
    uint8_t key = 0;
    d.SgIo({0x43, 0, 0, 0, 0, 0, 0, 0x03, 0x24, 0}, 804, &key);
    EXPECT_EQ(d.lastSense, 0x023A00u);
    EXPECT_EQ(d.Status(CDROM_MEDIA_CHANGED), 1);
    EXPECT_EQ(d.Status(CDROM_MEDIA_CHANGED), 0);
    EXPECT_EQ(d.Status(CDROM_DRIVE_STATUS), CDS_TRAY_OPEN);
    EXPECT_EQ(d.Status(CDROM_DISC_STATUS), CDS_NO_DISC);
    std::vector<uint8_t> frame(2352);
    cdrom_read_audio audio{};
    audio.addr_format = CDROM_LBA;
    audio.nframes = 1;
    audio.buf = frame.data();
    EXPECT_EQ(d.drive->Ioctl(CDROMREADAUDIO, &audio, false), -1);
    EXPECT_EQ(errno, ENOMEDIUM);

    EXPECT_EQ(d.Status(CDROMCLOSETRAY), 0);
    EXPECT_TRUE(d.ReadCd(23, 1).empty());
    EXPECT_EQ(d.lastSense, 0x062800u);  // UNIT ATTENTION, medium changed: once
    EXPECT_EQ(d.ReadCd(23, 1), cadrix::discgen::ExpectedAudioRange(disc, 23, 1));
    EXPECT_EQ(d.Status(CDROM_DRIVE_STATUS), CDS_DISC_OK);
}

// Another disc: the next command reports the change once, then reads and
// the ioctls describe the new disc (shorter, audio only) alone.
TEST(DriveEmulator, ADiscChangeIsReportedOnceThenTheNewDiscIsRead) {
    cadrix::test::TempDir images;
    cadrix::discgen::DiscDescription first;
    first.tracks = {{.frames = 300}, {.frames = 200, .mode = cadrix::discgen::TrackMode::Mode1Raw}};
    cadrix::discgen::DiscDescription second = cadrix::discgen::AudioDisc({150, 100}, 9);
    ASSERT_TRUE(cadrix::discgen::WriteDiscImage(first, images.path() / "a", "cd"));
    ASSERT_TRUE(cadrix::discgen::WriteDiscImage(second, images.path() / "b", "cd"));
    Drive d({"--image", (images.path() / "a/cd.cue").string(), "--image", (images.path() / "b/cd.cue").string(),
             "--change-after-reads", "1"});
    EXPECT_EQ(d.Status(CDROM_DISC_STATUS), CDS_MIXED);
    EXPECT_EQ(d.ReadCd(100, 2), cadrix::discgen::ExpectedAudioRange(first, 100, 2));
    EXPECT_TRUE(d.ReadCd(100, 2).empty());
    EXPECT_EQ(d.lastSense, 0x062800u);
    EXPECT_EQ(d.ReadCd(100, 2), cadrix::discgen::ExpectedAudioRange(second, 100, 2));
    EXPECT_TRUE(d.ReadCd(260, 1).empty());
    EXPECT_EQ(d.lastSense, 0x052100u);  // past the new disc's lead-out
    EXPECT_EQ(d.Status(CDROM_MEDIA_CHANGED), 1);
    EXPECT_EQ(d.Status(CDROM_MEDIA_CHANGED), 0);
    EXPECT_EQ(d.Status(CDROM_DRIVE_STATUS), CDS_DISC_OK);
    EXPECT_EQ(d.Status(CDROM_DISC_STATUS), CDS_AUDIO);
}

// The Q sub-channel READ CD returns (raw P-W): a mode-2 frame with the
// catalog number and a mode-3 frame with the ISRC at least once in every 100
// frames of the track, the first frame of every index a position frame, P
// set through the pregap; the kernel's CDROMSUBCHNL after a play in the
// pregap counts down to INDEX 01.
TEST(DriveEmulator, TheSubChannelCarriesCodesOftenEnoughAndCountsDownPregaps) {
    cadrix::test::TempDir images;
    cadrix::discgen::DiscDescription disc = cadrix::discgen::AudioDisc({400, 600}, 3);
    disc.mcn = "0724384960629";
    disc.tracks[1].isrc = "DEA123400002";
    disc.tracks[1].indexZeroFrames = 150;
    ASSERT_TRUE(cadrix::discgen::WriteDiscImage(disc, images.path(), "cd"));
    Drive d({"--image", (images.path() / "cd.cue").string()});
    int lastMcn = 399, lastIsrc = 549;  // the scan starts at 400, track 2's INDEX 01 is at 550
    for (uint32_t lba = 400; lba < 1150; lba += 25) {
        uint8_t key = 0;
        const auto raw = d.SgIo({0xBE, 0, 0, 0, static_cast<uint8_t>(lba >> 8), static_cast<uint8_t>(lba), 0, 0, 25,
                                 0x10, 0x01, 0},
                                25 * (2352 + 96), &key);
        ASSERT_EQ(key, 0);
        for (uint32_t k = 0; k < 25; ++k) {
            uint8_t q[12] = {};
            for (size_t bit = 0; bit < 96; ++bit)
                q[bit / 8] |= ((raw[k * 2448 + 2352 + bit] >> 6) & 1) << (7 - bit % 8);
            const int at = static_cast<int>(lba + k);
            EXPECT_EQ((raw[k * 2448 + 2352] & 0x80) != 0, at < 550) << at;  // P: the pregap
            if ((q[0] & 0x0F) == 2) lastMcn = at;
            if ((q[0] & 0x0F) == 3) lastIsrc = at;
            EXPECT_LE(at - lastMcn, 100) << at;
            EXPECT_LE(at - lastIsrc, 100) << at;
            if (at == 400 || at == 550) {
                EXPECT_EQ(q[0] & 0x0F, 1) << "the first frame of an index gives the position";
            }
        }
    }
    cdrom_blk play{500, 1};
    ASSERT_EQ(d.drive->Ioctl(CDROMPLAYBLK, &play, false), 0);
    cdrom_subchnl q{};
    q.cdsc_format = CDROM_MSF;
    ASSERT_EQ(d.drive->Ioctl(CDROMSUBCHNL, &q, false), 0);
    EXPECT_EQ(q.cdsc_audiostatus, CDROM_AUDIO_COMPLETED);
    EXPECT_EQ(std::make_tuple(q.cdsc_trk, q.cdsc_ind, q.cdsc_reladdr.msf.second, q.cdsc_reladdr.msf.frame),
              std::make_tuple(2, 0, 0, 50));  // 50 frames before INDEX 01
}

// The kernel's sector ioctls: Mode 1 user data from a MODE1/2048 image,
// EIO for Mode 2 of a Mode 1 track; SG_IO refuses a transfer longer than
// the queue takes, and the reserved size stops there.
TEST(DriveEmulator, SectorIoctlsAndTransferLimits) {
    cadrix::test::TempDir images;
    cadrix::discgen::DiscDescription disc;
    disc.tracks = {{.frames = 300}, {.frames = 200, .mode = cadrix::discgen::TrackMode::Mode1Cooked}};
    ASSERT_TRUE(cadrix::discgen::WriteDiscImage(disc, images.path(), "cd"));
    Drive d({"--image", (images.path() / "cd.cue").string()});
    const auto toc = cadrix::discgen::ExpectedTocOf(disc);
    const uint32_t lba = toc.trackStarts[1] + 10;
    std::vector<uint8_t> buffer(2352), expected(2048);
    cadrix::discgen::MakeDataSector(cadrix::discgen::TrackMode::Mode1Cooked, lba, disc.seed, expected);
    auto msf = [&](unsigned long request) {
        cdrom_msf at{static_cast<uint8_t>((lba + 150) / 4500),
                     static_cast<uint8_t>((lba + 150) / 75 % 60),
                     static_cast<uint8_t>((lba + 150) % 75),
                     0,
                     0,
                     0};
        std::memcpy(buffer.data(), &at, sizeof at);
        return d.drive->Ioctl(request, buffer.data(), false);
    };
    ASSERT_EQ(msf(CDROMREADMODE1), 0);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), buffer.begin()));
    EXPECT_EQ(msf(CDROMREADMODE2), -1);
    EXPECT_EQ(errno, EIO);
    ASSERT_EQ(msf(CDROMREADRAW), 0);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), buffer.begin() + 16));
    int reserved = 1 << 30;
    ASSERT_EQ(d.drive->Ioctl(SG_SET_RESERVED_SIZE, &reserved, false), 0);
    ASSERT_EQ(d.drive->Ioctl(SG_GET_RESERVED_SIZE, &reserved, false), 0);
    std::vector<uint8_t> big(static_cast<size_t>(reserved) + 2352);
    uint8_t cdb[12] = {0xBE, 0, 0, 0, 0, 0, 0, 0, 56, 0x10, 0, 0};
    sg_io_hdr header{};
    header.interface_id = 'S';
    header.cmdp = cdb;
    header.cmd_len = sizeof cdb;
    header.dxferp = big.data();
    header.dxfer_len = static_cast<unsigned>(big.size());
    header.dxfer_direction = SG_DXFER_FROM_DEV;
    EXPECT_EQ(d.drive->Ioctl(SG_IO, &header, false), -1);
    EXPECT_EQ(errno, EIO);
}

}  // namespace
}  // namespace drivesim
