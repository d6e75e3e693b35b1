// MODE SENSE(6) and MODE SENSE(10): the mode pages a CD-ROM drive reports
// (01h read error recovery, 0Dh CD device parameters, 0Eh CD audio control,
// 2Ah capabilities and mechanical status), alone or all at once (3Fh). No
// parameter can be changed, and none is saved.
#include "mmc_util.h"

namespace drivesim {
namespace {

constexpr uint8_t kAllPages = 0x3F;
constexpr uint8_t kChangeable = 1;
constexpr uint8_t kSaved = 3;
constexpr Sense kSavingNotSupported{5, 0x39, 0, -1};

std::vector<uint8_t> ReadErrorRecoveryPage() {
    return {0x01, 0x0A, 0x00, 0x10, 0, 0, 0, 0, 0, 0, 0, 0};  // 16 read retries
}

std::vector<uint8_t> DeviceParametersPage() {
    return {0x0D, 0x06, 0, 0, 0, 60, 0, 75};  // 60 S units a minute, 75 F units a second
}

// Output ports 0 and 1 carry channels 0 and 1 at full volume.
std::vector<uint8_t> AudioControlPage() {
    return {0x0E, 0x0E, 0x04, 0, 0, 0, 0, 0, 0x01, 0xFF, 0x02, 0xFF, 0, 0, 0, 0};
}

// CD-DA reads with accurate stream, C2 pointers, ISRC, UPC and raw R-W;
// audio play, both XA forms, several sessions; a tray that locks and ejects.
std::vector<uint8_t> CapabilitiesPage(EmulatedDrive& drive) {
    std::vector<uint8_t> page(28, 0);
    page[0] = 0x2A;
    page[1] = 26;
    page[4] = 0x71;  // audio play, mode 2 form 1 and form 2, multi-session
    page[5] = 0x77;  // CD-DA commands, accurate stream, R-W, C2 pointers, ISRC, UPC
    page[6] = static_cast<uint8_t>(0x29 | (drive.DoorLocked() ? 0x02 : 0));  // lock (state), eject, tray
    page[7] = 0x03;                                                          // separate volume levels and channel mute
    const double speed = drive.Options().speed > 0 ? drive.Options().speed : 48;
    PutBe(&page[8], static_cast<uint32_t>(speed * 176.4), 2);
    PutBe(&page[10], 256, 2);
    PutBe(&page[12], 2048, 2);
    PutBe(&page[14], static_cast<uint32_t>(speed * 176.4), 2);
    return page;
}

struct ModePage {
    uint8_t code;
    std::vector<uint8_t> (*build)(EmulatedDrive&);
};
constexpr ModePage kPages[] = {
    {0x01, [](EmulatedDrive&) { return ReadErrorRecoveryPage(); }},
    {0x0D, [](EmulatedDrive&) { return DeviceParametersPage(); }},
    {0x0E, [](EmulatedDrive&) { return AudioControlPage(); }},
    {0x2A, CapabilitiesPage},
};

// The pages asked for, in ascending order; empty for an unknown page. The
// changeable values are all zero: nothing can be changed.
std::vector<uint8_t> Pages(EmulatedDrive& drive, uint8_t code, uint8_t control) {
    std::vector<uint8_t> pages;
    for (const ModePage& page : kPages) {
        if (code != kAllPages && code != page.code) continue;
        std::vector<uint8_t> bytes = page.build(drive);
        if (control == kChangeable) std::fill(bytes.begin() + 2, bytes.end(), uint8_t{0});
        pages.insert(pages.end(), bytes.begin(), bytes.end());
    }
    return pages;
}

// The medium type of the header (SFF-8020): data, audio or both; no disc.
uint8_t MediumType(EmulatedDrive& drive) {
    const akrip::DiscImage* disc = drive.Disc();
    if (!disc) return drive.TrayOpen() ? 0x71 : 0x70;
    bool audio = false;
    bool data = false;
    for (const auto& track : disc->toc.tracks) (track.IsAudio() ? audio : data) = true;
    return audio && data ? 0x03 : audio ? 0x02 : 0x01;
}

// The pages for a MODE SENSE; false (sense set) for an unknown page, a
// subpage, or saved values.
bool SensePages(EmulatedDrive& drive, PacketCommand& command, std::vector<uint8_t>& pages) {
    const uint8_t control = command.cdb[2] >> 6;
    if (control == kSaved) {
        command.sense = kSavingNotSupported;
        return false;
    }
    pages = Pages(drive, command.cdb[2] & 0x3F, control);
    if (pages.empty() || command.cdb[3] != 0) {
        command.sense = kBadField;
        return false;
    }
    return true;
}

}  // namespace

// MODE SENSE(6): a 4-byte header and, unless DBD, one block descriptor of
// 2048-byte blocks.
void ModeSense6(EmulatedDrive& drive, PacketCommand& command) {
    std::vector<uint8_t> pages;
    if (!SensePages(drive, command, pages)) return;
    const bool descriptor = (command.cdb[1] & 0x08) == 0;
    std::vector<uint8_t> reply(descriptor ? 12 : 4, 0);
    reply[1] = MediumType(drive);
    if (descriptor) {
        reply[3] = 8;
        PutBe(&reply[9], kDataBytes, 3);
    }
    reply.insert(reply.end(), pages.begin(), pages.end());
    reply[0] = static_cast<uint8_t>(reply.size() - 1);
    Reply(command, reply, command.cdb[4]);
}

// MODE SENSE(10): an 8-byte header and no block descriptor, as MMC drives
// answer it.
void ModeSense10(EmulatedDrive& drive, PacketCommand& command) {
    std::vector<uint8_t> pages;
    if (!SensePages(drive, command, pages)) return;
    std::vector<uint8_t> reply(8, 0);
    reply[2] = MediumType(drive);
    reply.insert(reply.end(), pages.begin(), pages.end());
    PutBe(&reply[0], static_cast<uint32_t>(reply.size() - 2), 2);
    Reply(command, reply, Be(command.cdb, 7, 2));
}

}  // namespace drivesim
