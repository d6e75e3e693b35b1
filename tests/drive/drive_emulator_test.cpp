// The emulated drive's own rules where no libcdio reader goes: SG_IO, the
// full TOC of an Enhanced CD, refused commands and the empty drive.
#include <gtest/gtest.h>
#include <linux/cdrom.h>
#include <scsi/sg.h>

#include <filesystem>

#include "temp_dir.h"
#include "disc_generator.h"
#include "drive_options.h"
#include "emulated_drive.h"

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
    EXPECT_EQ(full[3], 2);                        // last session
    EXPECT_EQ(full[4 + 3], 0xA0);
    EXPECT_EQ(full[4 + 9], 0x00);                 // CD-ROM: its data is Mode 1, not XA
    EXPECT_EQ(full[4 + 2 * 11 + 3], 0xA2);        // session 1 lead-out at 300 = 00:06:00
    EXPECT_EQ(full[4 + 2 * 11 + 9], 6);
    EXPECT_EQ(full[4 + 7 * 11 + 3], 2);           // track 2 at 11700 + 150 = 02:38:00
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

}  // namespace
}  // namespace drivesim
