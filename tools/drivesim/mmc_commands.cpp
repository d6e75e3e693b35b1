// MMC packet commands of the emulated drive. Each command is one entry of
// kCommands (and each READ TOC format one entry of kTocFormats): adding a
// command or format is adding a handler and its line.
#include <algorithm>
#include <cstring>
#include <string_view>

#include "cd_text_encoder.h"
#include "emulated_drive.h"

namespace drivesim {
namespace {

constexpr size_t kC2Bytes = 294;
constexpr uint8_t kSenseFiltered = 0xFF;  // the kernel refused the command

uint32_t Be(std::span<const uint8_t> bytes, size_t at, size_t count) {
    uint32_t value = 0;
    for (size_t k = 0; k < count; ++k) value = value << 8 | bytes[at + k];
    return value;
}

void PutBe(uint8_t* out, uint32_t value, size_t count) {
    for (size_t k = 0; k < count; ++k) out[k] = static_cast<uint8_t>(value >> (8 * (count - 1 - k)));
}

// Copies a reply into the transfer buffer, cut to the allocation length.
void Reply(PacketCommand& command, const std::vector<uint8_t>& reply, size_t allocation) {
    const size_t bytes = std::min({reply.size(), allocation, command.length});
    if (bytes > 0 && command.data) std::memcpy(command.data, reply.data(), bytes);
    command.transferred = bytes;
}

void PutAddress(uint8_t* out, int32_t lsn, bool msf) {
    if (!msf) {
        PutBe(out, static_cast<uint32_t>(lsn), 4);
        return;
    }
    const int32_t frames = lsn + kMsfOffset;
    out[0] = 0;
    out[1] = static_cast<uint8_t>(frames / 4500);
    out[2] = static_cast<uint8_t>(frames / 75 % 60);
    out[3] = static_cast<uint8_t>(frames % 75);
}

using Handler = void (*)(EmulatedDrive&, PacketCommand&);

void TestUnitReady(EmulatedDrive& drive, PacketCommand& command) {
    if (!drive.HasDisc()) command.sense = kNotReady;
}

void RequestSense(EmulatedDrive&, PacketCommand& command) {
    std::vector<uint8_t> reply(18, 0);
    reply[0] = 0x70;
    reply[7] = 10;
    Reply(command, reply, command.cdb[4]);
}

// --model "VENDOR MODEL": the vendor (bytes 8-15) and product (16-31)
// fields, blank-padded, in place of the emulator's own.
void InquiryIdentity(std::string_view model, std::vector<uint8_t>& reply) {
    if (model.empty()) return;
    const size_t space = model.find(' ');
    const std::string_view vendor = model.substr(0, std::min<size_t>(space, 8));
    const std::string_view product = space == std::string_view::npos ? std::string_view() : model.substr(space + 1, 16);
    std::fill(&reply[8], &reply[32], ' ');
    std::copy(vendor.begin(), vendor.end(), &reply[8]);
    std::copy(product.begin(), product.end(), &reply[16]);
}

void Inquiry(EmulatedDrive& drive, PacketCommand& command) {
    if (command.cdb[1] & 0x01) {  // vital product data pages: none
        command.sense = kBadField;
        return;
    }
    std::vector<uint8_t> reply(36, ' ');
    reply[0] = 0x05;  // CD/DVD device
    reply[1] = 0x80;  // removable medium
    reply[2] = 0x05;
    reply[3] = 0x02;
    reply[4] = 31;
    reply[5] = reply[6] = reply[7] = 0;
    std::memcpy(&reply[8], "CADRIX  DRIVESIM CD-ROM 1.00", 28);
    InquiryIdentity(drive.Options().model, reply);
    Reply(command, reply, Be(command.cdb, 3, 2));
}

// Page 2Ah, the capabilities page: CD-DA reads, accurate stream, C2 pointers.
void ModeSense10(EmulatedDrive& drive, PacketCommand& command) {
    const uint8_t page = command.cdb[2] & 0x3F;
    if (page != 0x2A && page != 0x3F) {
        command.sense = kBadField;
        return;
    }
    std::vector<uint8_t> reply(8 + 28, 0);
    PutBe(&reply[0], static_cast<uint32_t>(reply.size() - 2), 2);
    uint8_t* caps = &reply[8];
    caps[0] = 0x2A;
    caps[1] = 26;
    caps[4] = 0x41;  // audio play, multi-session
    caps[5] = 0x73;  // CD-DA commands, accurate stream, C2 pointers, ISRC, UPC
    caps[6] = 0x29;  // lock, eject, tray
    const double speed = drive.Options().speed > 0 ? drive.Options().speed : 48;
    PutBe(&caps[8], static_cast<uint32_t>(speed * 176.4), 2);
    PutBe(&caps[10], 256, 2);
    PutBe(&caps[12], 2048, 2);
    PutBe(&caps[14], static_cast<uint32_t>(speed * 176.4), 2);
    Reply(command, reply, Be(command.cdb, 7, 2));
}

void GetConfiguration(EmulatedDrive& drive, PacketCommand& command) {
    const uint16_t profile = drive.HasDisc() ? 0x0008 : 0x0000;  // CD-ROM
    std::vector<uint8_t> reply(8 + 8, 0);
    PutBe(&reply[0], static_cast<uint32_t>(reply.size() - 4), 4);
    PutBe(&reply[6], profile, 2);
    reply[8 + 2] = 0x03;  // feature 0, the profile list: persistent, current
    reply[8 + 3] = 4;
    PutBe(&reply[8 + 4], 0x0008, 2);
    reply[8 + 6] = profile != 0 ? 0x01 : 0x00;
    Reply(command, reply, Be(command.cdb, 7, 2));
}

// READ TOC format 0: the tracks from the start track, then the lead-out.
std::vector<uint8_t> TocFormatTracks(const akrip::DiscImage& disc, const PacketCommand& command, bool msf) {
    const auto& toc = disc.toc;
    const uint8_t startTrack = command.cdb[6];
    std::vector<uint8_t> reply(4, 0);
    auto entry = [&reply, msf](uint8_t control, uint8_t number, int32_t lsn) {
        const size_t at = reply.size();
        reply.resize(at + 8, 0);
        reply[at + 1] = static_cast<uint8_t>(0x10 | (control & 0x0F));
        reply[at + 2] = number;
        PutAddress(&reply[at + 4], lsn, msf);
    };
    for (size_t k = 0; k < toc.tracks.size(); ++k) {
        if (k + 1 >= startTrack) entry(toc.tracks[k].control, static_cast<uint8_t>(k + 1), toc.tracks[k].start);
    }
    if (startTrack > toc.tracks.size() && startTrack != 0xAA) return {};
    entry(toc.tracks.back().control & 0x04, 0xAA, toc.leadOut);
    reply[2] = 1;
    reply[3] = static_cast<uint8_t>(toc.tracks.size());
    return reply;
}

// Format 1: the first and last session and the first track of the last.
std::vector<uint8_t> TocFormatSessions(const akrip::DiscImage& disc, const PacketCommand&, bool msf) {
    const auto sessions = Sessions(disc);
    const auto& track = disc.toc.tracks[sessions.back().firstTrack];
    std::vector<uint8_t> reply(12, 0);
    reply[2] = 1;
    reply[3] = static_cast<uint8_t>(sessions.back().number);
    reply[5] = static_cast<uint8_t>(0x10 | (track.control & 0x0F));
    reply[6] = static_cast<uint8_t>(sessions.back().firstTrack + 1);
    PutAddress(&reply[8], track.start, msf);
    return reply;
}

// Format 2, the full TOC: per session A0, A1, A2 and the tracks, all MSF.
std::vector<uint8_t> TocFormatFull(const akrip::DiscImage& disc, const PacketCommand&, bool) {
    const auto& toc = disc.toc;
    const auto sessions = Sessions(disc);
    std::vector<uint8_t> reply(4, 0);
    auto descriptor = [&reply](int session, uint8_t control, uint8_t point, uint8_t pm, uint8_t ps, uint8_t pf) {
        reply.insert(reply.end(), {static_cast<uint8_t>(session), static_cast<uint8_t>(0x10 | (control & 0x0F)), 0,
                                   point, 0, 0, 0, 0, pm, ps, pf});
    };
    auto msf = [&descriptor](int session, uint8_t control, uint8_t point, int32_t lsn) {
        uint8_t bytes[4];
        PutAddress(bytes, lsn, true);
        descriptor(session, control, point, bytes[1], bytes[2], bytes[3]);
    };
    bool anyData = false;
    for (const auto& track : toc.tracks) anyData |= !track.IsAudio();
    for (const SessionInfo& session : sessions) {
        const uint8_t firstControl = toc.tracks[session.firstTrack].control;
        const uint8_t discType = sessions.size() > 1 || anyData ? 0x20 : 0x00;  // CD-ROM XA, or CD-DA
        descriptor(session.number, firstControl, 0xA0, static_cast<uint8_t>(session.firstTrack + 1), discType, 0);
        descriptor(session.number, toc.tracks[session.lastTrack].control, 0xA1,
                   static_cast<uint8_t>(session.lastTrack + 1), 0, 0);
        msf(session.number, toc.tracks[session.lastTrack].control & 0x04, 0xA2, session.leadOut);
        for (size_t k = session.firstTrack; k <= session.lastTrack; ++k) {
            msf(session.number, toc.tracks[k].control, static_cast<uint8_t>(k + 1), toc.tracks[k].start);
        }
    }
    reply[2] = 1;
    reply[3] = static_cast<uint8_t>(sessions.back().number);
    return reply;
}

// Format 5: the disc's CD-Text packs; a disc without any refuses the format.
std::vector<uint8_t> TocFormatCdText(const akrip::DiscImage& disc, const PacketCommand&, bool) {
    std::vector<uint8_t> packs = EncodeCdTextPacks(disc.toc);
    if (packs.empty()) return {};
    packs.insert(packs.begin(), 4, 0);
    return packs;
}

struct TocFormat {
    uint8_t format;
    std::vector<uint8_t> (*build)(const akrip::DiscImage&, const PacketCommand&, bool msf);
};
constexpr TocFormat kTocFormats[] = {
    {0, TocFormatTracks}, {1, TocFormatSessions}, {2, TocFormatFull}, {5, TocFormatCdText}};

void ReadToc(EmulatedDrive& drive, PacketCommand& command) {
    const akrip::DiscImage* disc = drive.Disc();  // once: the disc may leave meanwhile
    if (!disc) {
        command.sense = kNotReady;
        return;
    }
    uint8_t format = command.cdb[2] & 0x0F;
    if (format == 0) format = command.cdb[9] >> 6;  // the older place of the format
    const auto* entry = std::find_if(std::begin(kTocFormats), std::end(kTocFormats),
                                     [format](const TocFormat& f) { return f.format == format; });
    if (entry == std::end(kTocFormats)) {
        command.sense = kBadField;
        return;
    }
    std::vector<uint8_t> reply = entry->build(*disc, command, (command.cdb[1] & 0x02) != 0);
    if (reply.empty()) {
        command.sense = kBadField;
        return;
    }
    PutBe(&reply[0], static_cast<uint32_t>(reply.size() - 2), 2);
    Reply(command, reply, Be(command.cdb, 7, 2));
}

// READ CD of CD-DA sectors (expected type 0 or 1), user data only, with
// C2 error pointers when asked; READ CD of Mode 1 sectors gives user data.
void ReadCd(EmulatedDrive& drive, PacketCommand& command) {
    const uint8_t type = (command.cdb[1] >> 2) & 0x07;
    const auto lba = static_cast<int32_t>(Be(command.cdb, 2, 4));
    const uint32_t count = Be(command.cdb, 6, 3);
    const uint8_t c2 = (command.cdb[9] >> 1) & 0x03;
    if (count == 0) return;
    if (type > 2 || c2 == 3 || (command.cdb[10] & 0x07) != 0 || (type == 2 && c2 != 0)) {
        command.sense = kBadField;
        return;
    }
    const size_t sectorBytes = type == 2 ? kDataBytes : kFrameBytes + (c2 == 1 ? kC2Bytes : c2 == 2 ? kC2Bytes + 2 : 0);
    if (!command.data || command.length < sectorBytes * count) {
        command.sense = kBadField;
        return;
    }
    const bool ok = type == 2 ? drive.ReadData(lba, count, command.data, command.sense)
                              : drive.ReadAudio(lba, count, command.data, command.sense);
    if (!ok) return;
    if (sectorBytes != kFrameBytes && type != 2) {  // spread the sectors, zero pointers after each
        for (uint32_t k = count; k-- > 0;) {
            uint8_t* sector = command.data + size_t{k} * sectorBytes;
            std::memmove(sector, command.data + size_t{k} * kFrameBytes, kFrameBytes);
            std::memset(sector + kFrameBytes, 0, sectorBytes - kFrameBytes);
        }
    }
    command.transferred = sectorBytes * count;
}

void ReadBlocks(EmulatedDrive& drive, PacketCommand& command) {
    const bool twelve = command.cdb[0] == 0xA8;
    const auto lba = static_cast<int32_t>(Be(command.cdb, 2, 4));
    const uint32_t count = twelve ? Be(command.cdb, 6, 4) : Be(command.cdb, 7, 2);
    if (count == 0) return;
    if (!command.data || command.length < size_t{count} * kDataBytes || count > 64) {
        command.sense = kBadField;
        return;
    }
    if (drive.ReadData(lba, count, command.data, command.sense)) command.transferred = size_t{count} * kDataBytes;
}

// Q sub-channel: the current position (format 1), or no MCN (2) / ISRC (3).
void ReadSubChannel(EmulatedDrive& drive, PacketCommand& command) {
    const uint8_t format = command.cdb[3];
    if (format < 1 || format > 3) {
        command.sense = kBadField;
        return;
    }
    std::vector<uint8_t> reply(format == 1 ? 16 : 24, 0);
    reply[1] = 0x15;  // no current audio status
    PutBe(&reply[2], static_cast<uint32_t>(reply.size() - 4), 2);
    reply[4] = format;
    if (format == 3) reply[6] = command.cdb[6];
    if (!drive.HasDisc()) {
        command.sense = kNotReady;
        return;
    }
    Reply(command, reply, Be(command.cdb, 7, 2));
}

void Accept(EmulatedDrive&, PacketCommand&) {}

void StartStopUnit(EmulatedDrive& drive, PacketCommand& command) {
    if ((command.cdb[4] & 0x02) == 0) return;  // no load or eject
    const bool load = (command.cdb[4] & 0x01) != 0;
    if (drive.Ioctl(load ? 0x5319 /* CDROMCLOSETRAY */ : 0x5309 /* CDROMEJECT */, nullptr, true) != 0) {
        command.sense = {5, 0x53, 0x02, -1};  // medium removal prevented
    }
}

struct MmcCommand {
    uint8_t opcode;
    const char* name;
    bool needsWritableOpen;  // the kernel's filter refuses it on a read-only open
    bool reportsChange;      // a pending UNIT ATTENTION ends it (all but INQUIRY and the like)
    Handler handler;
};

constexpr MmcCommand kCommands[] = {
    {0x00, "TEST UNIT READY", false, true, TestUnitReady},
    {0x03, "REQUEST SENSE", false, false, RequestSense},
    {0x12, "INQUIRY", false, false, Inquiry},
    {0x1B, "START STOP UNIT", true, true, StartStopUnit},
    {0x1E, "PREVENT ALLOW MEDIUM REMOVAL", true, true, Accept},
    {0x28, "READ(10)", false, true, ReadBlocks},
    {0x42, "READ SUB-CHANNEL", false, true, ReadSubChannel},
    {0x43, "READ TOC/PMA/ATIP", false, true, ReadToc},
    {0x46, "GET CONFIGURATION", false, false, GetConfiguration},
    {0x5A, "MODE SENSE(10)", false, true, ModeSense10},
    {0xA8, "READ(12)", false, true, ReadBlocks},
    {0xBB, "SET CD SPEED", true, true, Accept},
    {0xBE, "READ CD", false, true, ReadCd},
};

const MmcCommand* FindCommand(uint8_t opcode) {
    const auto* entry = std::find_if(std::begin(kCommands), std::end(kCommands),
                                     [opcode](const MmcCommand& c) { return c.opcode == opcode; });
    return entry == std::end(kCommands) ? nullptr : entry;
}

}  // namespace

const char* MmcCommandName(uint8_t opcode) {
    const MmcCommand* command = FindCommand(opcode);
    return command ? command->name : "unknown";
}

void ExecuteMmc(EmulatedDrive& drive, PacketCommand& command) {
    const MmcCommand* entry = FindCommand(command.cdb[0]);
    if (!entry) {
        command.sense = kBadOpcode;
        return;
    }
    if (entry->needsWritableOpen && !command.writableOpen) {
        command.sense = {kSenseFiltered, 0, 0, -1};
        return;
    }
    // After a disc change the drive reports it once, to the first command
    // that may report it; what follows reads the new disc.
    if (entry->reportsChange && drive.TakeUnitAttention()) {
        command.sense = kMediumChanged;
        return;
    }
    entry->handler(drive, command);
}

}  // namespace drivesim
