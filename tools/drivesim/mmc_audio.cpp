// The position of the head and audio play: READ SUB-CHANNEL (the current
// position, the media catalog number, a track's ISRC), PLAY AUDIO(10),
// PLAY AUDIO(12) and PLAY AUDIO MSF (accepted and finished at once: the
// emulated drive has no speaker, but the head moves), SEEK and MECHANISM
// STATUS.
#include "image_reader.h"
#include "mmc_util.h"
#include "subchannel_q.h"

namespace drivesim {
namespace {

constexpr uint8_t kNoAudioStatus = 0x15;
constexpr uint8_t kPlayCompleted = 0x13;
constexpr uint32_t kCurrentPosition = 0xFFFFFFFF;

// Format 1: where the head is, as the Q sub-channel there says.
void CurrentPosition(const akrip::DiscToc& toc, int64_t lsn, bool msf, std::vector<uint8_t>& reply) {
    const QPosition position = PositionOf(toc, lsn);
    reply[5] = static_cast<uint8_t>(0x10 | (position.control & 0x0F));
    reply[6] = static_cast<uint8_t>(position.track);
    reply[7] = static_cast<uint8_t>(position.index);
    PutAddress(&reply[8], static_cast<int32_t>(lsn), msf);
    if (msf) {  // the time in the track as the disc gives it, counting down in a pregap
        PutAddress(&reply[12], position.relative - kMsfOffset, true);
    } else {
        PutBe(&reply[12], static_cast<uint32_t>(position.index == 0 ? -position.relative : position.relative), 4);
    }
}

// Formats 2 and 3: a valid bit, then the code in ASCII.
void PutCode(const std::string& code, std::vector<uint8_t>& reply) {
    if (code.empty()) return;
    reply[8] = 0x80;
    std::copy(code.begin(), code.end(), &reply[9]);
}

// Where a play starts and how many frames it covers; false (sense set) for
// no disc or a range the disc does not hold as audio.
bool PlayRange(EmulatedDrive& drive, PacketCommand& command, int64_t& start, int64_t& frames) {
    const auto& cdb = command.cdb;
    if (cdb[0] == 0x47) {
        const bool current = cdb[3] == 0xFF && cdb[4] == 0xFF && cdb[5] == 0xFF;
        start = current ? drive.Position() : MsfToLsn(&cdb[3]);
        frames = MsfToLsn(&cdb[6]) - start;
    } else {
        const uint32_t lba = Be(cdb, 2, 4);
        start = lba == kCurrentPosition ? drive.Position() : static_cast<int32_t>(lba);
        frames = cdb[0] == 0xA5 ? Be(cdb, 6, 4) : Be(cdb, 7, 2);
    }
    const akrip::DiscImage* disc = drive.Disc();
    if (!disc) {
        command.sense = kNotReady;
    } else if (frames < 0) {
        command.sense = kBadField;
    } else if (frames > 0 && (start < 0 || start + frames > disc->toc.leadOut)) {
        command.sense = kBadAddress;
    } else if (frames > 0 && akrip::ReadableImageFrames(*disc, start, 1) != 1) {
        command.sense = kWrongMode;  // a data track does not play
    }
    return command.sense.Ok();
}

}  // namespace

void ReadSubChannel(EmulatedDrive& drive, PacketCommand& command) {
    const akrip::DiscImage* disc = drive.Disc();
    if (!disc) {
        command.sense = kNotReady;
        return;
    }
    const uint8_t format = command.cdb[3];
    const bool subQ = (command.cdb[2] & 0x40) != 0;
    if (subQ && (format < 1 || format > 3)) {
        command.sense = kBadField;
        return;
    }
    const uint8_t track = command.cdb[6];
    if (subQ && format == 3 && (track < 1 || track > disc->toc.tracks.size())) {
        command.sense = kBadField;
        return;
    }
    std::vector<uint8_t> reply(!subQ ? 4 : format == 1 ? 16 : 24, 0);
    reply[1] = drive.TakePlayCompleted() ? kPlayCompleted : kNoAudioStatus;
    PutBe(&reply[2], static_cast<uint32_t>(reply.size() - 4), 2);
    if (subQ) {
        reply[4] = format;
        if (format == 1) CurrentPosition(disc->toc, drive.Position(), (command.cdb[1] & 0x02) != 0, reply);
        if (format == 2) PutCode(disc->toc.mcn, reply);
        if (format == 3) {
            const akrip::TocTrack& entry = disc->toc.tracks[track - 1u];
            reply[5] = static_cast<uint8_t>(0x30 | (entry.control & 0x0F));
            reply[6] = track;
            if (entry.IsAudio()) PutCode(entry.isrc, reply);
        }
    }
    Reply(command, reply, Be(command.cdb, 7, 2));
}

void PlayAudio(EmulatedDrive& drive, PacketCommand& command) {
    int64_t start = 0;
    int64_t frames = 0;
    if (!PlayRange(drive, command, start, frames) || frames == 0) return;
    drive.SetPosition(start + frames - 1);
    drive.SetPlayCompleted();
}

void Seek(EmulatedDrive& drive, PacketCommand& command) {
    const akrip::DiscImage* disc = drive.Disc();
    const auto lba = static_cast<int32_t>(Be(command.cdb, 2, 4));
    if (!disc) {
        command.sense = kNotReady;
    } else if (lba < 0 || lba >= disc->toc.leadOut) {
        command.sense = kBadAddress;
    } else {
        drive.SetPosition(lba);
    }
}

// No changer: the mechanism is idle, the door open or closed, the head at the
// current position.
void MechanismStatus(EmulatedDrive& drive, PacketCommand& command) {
    std::vector<uint8_t> reply(8, 0);
    reply[1] = drive.TrayOpen() ? 0x10 : 0x00;
    PutBe(&reply[2], static_cast<uint32_t>(drive.Position()), 3);
    Reply(command, reply, Be(command.cdb, 8, 2));
}

}  // namespace drivesim
