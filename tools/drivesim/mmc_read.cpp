// Reading sectors: READ CD and READ CD MSF (any sector type, any choice of
// sync, headers, user data, EDC/ECC, C2 pointers and sub-channel), READ(10)
// and READ(12) of 2048-byte data blocks.
#include "data_sectors.h"
#include "image_reader.h"
#include "mmc_util.h"
#include "subchannel_q.h"

namespace drivesim {
namespace {

constexpr size_t kC2Bytes = 294;
constexpr uint8_t kSync = 0x80;
constexpr uint8_t kUserData = 0x10;
constexpr uint8_t kEdcEcc = 0x08;

// Expected sector types of READ CD.
enum SectorType : uint8_t { kAnyType = 0, kCdda = 1, kMode1 = 2, kMode2 = 3, kForm1 = 4, kForm2 = 5 };

struct ReadCdRequest {
    int64_t lba = 0;
    uint32_t count = 0;
    uint8_t type = 0;
    uint8_t fields = 0;      // CDB byte 9: sync, header codes, user data, EDC/ECC, C2
    uint8_t subChannel = 0;  // 0 none, 1 raw P-W, 2 formatted Q
};

// A run [offset, offset + bytes) of the raw 2352-byte sector.
struct Part {
    size_t offset = 0;
    size_t bytes = 0;
};

// The parts of a data sector READ CD returns, in order; false when the
// fields ask for what this sector's mode cannot give.
bool DataParts(akrip::SectorKind kind, uint8_t fields, std::vector<Part>& parts, Sense& sense) {
    const uint8_t headers = (fields >> 5) & 0x03;
    const bool xa = kind.mode == 2 && kind.form != 0;
    if ((fields & kSync) && (headers & 1) == 0 && (fields & (kUserData | kEdcEcc))) {
        sense = kBadField;  // sync and data without the header between them
        return false;
    }
    if (headers == 2 && kind.mode != 2) {
        sense = kWrongMode;  // the sub-header alone: a Mode 1 sector has none
        return false;
    }
    if (fields & kSync) parts.push_back({0, 12});
    if (headers & 1) parts.push_back({12, 4});
    if ((headers & 2) && xa) parts.push_back({16, 8});
    const size_t data = xa ? 24 : 16;
    const size_t dataBytes = kind.mode == 1 ? 2048 : !xa ? 2336 : kind.form == 1 ? 2048 : 2324;
    if (fields & kUserData) parts.push_back({data, dataBytes});
    if ((fields & kEdcEcc) && (kind.mode == 1 || xa)) parts.push_back({data + dataBytes, 2352 - data - dataBytes});
    return true;
}

bool TypeMatches(uint8_t type, akrip::SectorKind kind) {
    switch (type) {
        case kAnyType: return true;
        case kMode1: return kind.mode == 1;
        case kMode2: return kind.mode == 2 && kind.form == 0;
        case kForm1: return kind.mode == 2 && kind.form == 1;
        case kForm2: return kind.mode == 2 && kind.form == 2;
        default: return false;
    }
}

size_t ExtraBytes(const ReadCdRequest& request) {
    const uint8_t c2 = (request.fields >> 1) & 0x03;
    const size_t subChannel = request.subChannel == 1 ? 96 : request.subChannel == 2 ? 16 : 0;
    return (c2 == 1 ? kC2Bytes : c2 == 2 ? kC2Bytes + 2 : 0) + subChannel;
}

// After the main channel: zero C2 pointers (every byte read well), then the sub-channel.
uint8_t* PutExtras(const akrip::DiscToc& toc, const ReadCdRequest& request, int64_t lsn, uint8_t* out) {
    const size_t c2 = ExtraBytes(request) - (request.subChannel == 1 ? 96 : request.subChannel == 2 ? 16 : 0);
    std::memset(out, 0, c2);
    out += c2;
    if (request.subChannel == 0) return out;
    const QFrame frame = SubChannelOf(toc, lsn);
    if (request.subChannel == 1) {
        PutRawPw(frame, std::span<uint8_t, 96>(out, 96));
        return out + 96;
    }
    PutFormattedQ(frame, std::span<uint8_t, 16>(out, 16));
    return out + 16;
}

// The sectors go to out[written...]; `written` grows by what they take.
bool ReadAudioSectors(EmulatedDrive& drive, const akrip::DiscImage& disc, const ReadCdRequest& request,
                      PacketCommand& command, size_t& written) {
    const size_t main = (request.fields & kUserData) ? kFrameBytes : 0;
    const size_t each = main + ExtraBytes(request);
    if (command.length - written < each * request.count) {
        command.sense = kBadField;
        return false;
    }
    thread_local std::vector<uint8_t> audio;
    audio.resize(size_t{request.count} * kFrameBytes);
    if (!drive.ReadAudio(request.lba, request.count, audio.data(), command.sense)) return false;
    uint8_t* out = command.data + written;
    for (uint32_t k = 0; k < request.count; ++k) {
        std::memcpy(out, audio.data() + size_t{k} * kFrameBytes, main);
        out = PutExtras(disc.toc, request, request.lba + k, out + main);
    }
    written += each * request.count;
    return true;
}

bool ReadDataSectors(EmulatedDrive& drive, const akrip::DiscImage& disc, const ReadCdRequest& request,
                     PacketCommand& command, size_t& written) {
    thread_local std::vector<uint8_t> raw;
    thread_local std::vector<Part> parts;
    raw.resize(size_t{request.count} * kFrameBytes);
    if (!drive.ReadRaw(request.lba, request.count, raw.data(), command.sense)) return false;
    uint8_t* out = command.data + written;
    const uint8_t* end = command.data + command.length;
    for (uint32_t k = 0; k < request.count; ++k) {
        const auto sector = std::span<const uint8_t, akrip::kRawSectorBytes>(raw.data() + size_t{k} * kFrameBytes,
                                                                             akrip::kRawSectorBytes);
        const akrip::SectorKind kind = akrip::KindOfSector(sector);
        parts.clear();
        if (!TypeMatches(request.type, kind) || !DataParts(kind, request.fields, parts, command.sense)) {
            if (command.sense.Ok()) command.sense = kWrongMode;
            command.sense.information = request.lba + k;
            return false;
        }
        size_t bytes = ExtraBytes(request);
        for (const Part& part : parts) bytes += part.bytes;
        if (static_cast<size_t>(end - out) < bytes) {
            command.sense = kBadField;
            return false;
        }
        for (const Part& part : parts) out = std::copy_n(sector.data() + part.offset, part.bytes, out);
        out = PutExtras(disc.toc, request, request.lba + k, out);
    }
    written = static_cast<size_t>(out - command.data);
    return true;
}

// How many sectors from `lba` on (at most `count`) are of one kind: audio,
// or not (data, or off the disc).
uint32_t RunOfOneKind(const akrip::DiscImage& disc, int64_t lba, uint32_t count, bool audio) {
    if (audio) return akrip::ReadableImageFrames(disc, lba, count);
    uint32_t run = 1;
    while (run < count && (lba + run < 0 || akrip::ReadableImageFrames(disc, lba + run, 1) == 0)) ++run;
    return run;
}

bool Validate(const ReadCdRequest& request, PacketCommand& command) {
    if (request.type > kForm2 || ((request.fields >> 1) & 0x03) == 3 ||
        (request.subChannel != 0 && request.subChannel != 1 && request.subChannel != 2)) {
        command.sense = kBadField;  // R-W alone (selection 4) is not offered
        return false;
    }
    return true;
}

// "Any type" reads audio and data sectors alike, run by run; a type asked
// for makes the drive refuse sectors of another kind.
void ReadCdSectors(EmulatedDrive& drive, PacketCommand& command, const ReadCdRequest& request) {
    if (!Validate(request, command) || request.count == 0) return;
    const akrip::DiscImage* disc = drive.Disc();
    if (!disc || !command.data) {
        command.sense = disc ? kBadField : kNotReady;
        return;
    }
    size_t written = 0;
    ReadCdRequest part = request;
    for (uint32_t done = 0; done < request.count; done += part.count) {
        part.lba = request.lba + done;
        const bool audio = part.lba >= 0 && akrip::ReadableImageFrames(*disc, part.lba, 1) == 1;
        if (audio && request.type > kCdda) {
            command.sense = kWrongMode;
            command.sense.information = part.lba;
            return;
        }
        const uint32_t left = request.count - done;
        part.count = request.type == kAnyType ? RunOfOneKind(*disc, part.lba, left, audio) : left;
        const bool ok = audio || request.type == kCdda ? ReadAudioSectors(drive, *disc, part, command, written)
                                                       : ReadDataSectors(drive, *disc, part, command, written);
        if (!ok) return;
    }
    command.transferred = written;
    drive.SetPosition(request.lba + request.count - 1);
}

}  // namespace

void ReadCd(EmulatedDrive& drive, PacketCommand& command) {
    ReadCdRequest request;
    request.type = (command.cdb[1] >> 2) & 0x07;
    request.lba = static_cast<int32_t>(Be(command.cdb, 2, 4));
    request.count = Be(command.cdb, 6, 3);
    request.fields = command.cdb[9];
    request.subChannel = command.cdb[10] & 0x07;
    ReadCdSectors(drive, command, request);
}

// READ CD MSF: from the start address up to (not including) the end address.
void ReadCdMsf(EmulatedDrive& drive, PacketCommand& command) {
    ReadCdRequest request;
    request.type = (command.cdb[1] >> 2) & 0x07;
    request.lba = MsfToLsn(&command.cdb[3]);
    const int64_t end = MsfToLsn(&command.cdb[6]);
    if (end < request.lba) {
        command.sense = kBadField;
        return;
    }
    request.count = static_cast<uint32_t>(end - request.lba);
    request.fields = command.cdb[9];
    request.subChannel = command.cdb[10] & 0x07;
    ReadCdSectors(drive, command, request);
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
    if (drive.ReadData(lba, count, command.data, command.sense)) {
        command.transferred = size_t{count} * kDataBytes;
        drive.SetPosition(lba + count - 1);
    }
}

}  // namespace drivesim
