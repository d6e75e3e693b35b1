// What the drive tells of the disc as a whole: READ TOC/PMA/ATIP (formats
// 0, 1, 2 and 5), READ DISC INFORMATION and READ CAPACITY. Each READ TOC
// format is one entry of kTocFormats.
#include "cd_text_encoder.h"
#include "mmc_util.h"

namespace drivesim {
namespace {

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

// Format 2, the full TOC: per session A0 (with the disc type), A1, A2 and
// the tracks, all MSF.
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
    for (const SessionInfo& session : sessions) {
        const uint8_t firstControl = toc.tracks[session.firstTrack].control;
        descriptor(session.number, firstControl, 0xA0, static_cast<uint8_t>(session.firstTrack + 1), toc.discType, 0);
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
constexpr TocFormat kTocFormats[] = {{0, TocFormatTracks},
                                     {1, TocFormatSessions},
                                     {2, TocFormatFull},
                                     {5, TocFormatCdText}};

}  // namespace

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
    // A pressed disc has no PMA or ATIP (formats 3, 4).
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

// The disc information block of a finished (closed) pressed disc.
void ReadDiscInformation(EmulatedDrive& drive, PacketCommand& command) {
    if ((command.cdb[1] & 0x07) != 0) {  // track resources and POW resources: recordable media only
        command.sense = kBadField;
        return;
    }
    const akrip::DiscImage* disc = drive.Disc();
    if (!disc) {
        command.sense = kNotReady;
        return;
    }
    const auto sessions = Sessions(*disc);
    std::vector<uint8_t> reply(34, 0);
    reply[1] = 32;
    reply[2] = 0x0E;  // last session complete, disc complete, not erasable
    reply[3] = 1;     // first track on the disc
    reply[4] = static_cast<uint8_t>(sessions.back().number);
    reply[5] = static_cast<uint8_t>(sessions.back().firstTrack + 1);
    reply[6] = static_cast<uint8_t>(sessions.back().lastTrack + 1);
    reply[8] = disc->toc.discType;
    std::fill(&reply[16], &reply[24], uint8_t{0xFF});  // no next session, no lead-out to write
    Reply(command, reply, Be(command.cdb, 7, 2));
}

void ReadCapacity(EmulatedDrive& drive, PacketCommand& command) {
    const akrip::DiscImage* disc = drive.Disc();
    if (!disc) {
        command.sense = kNotReady;
        return;
    }
    std::vector<uint8_t> reply(8, 0);
    PutBe(&reply[0], static_cast<uint32_t>(disc->toc.leadOut - 1), 4);
    PutBe(&reply[4], kDataBytes, 4);
    Reply(command, reply, reply.size());
}

}  // namespace drivesim
