#include "data_sectors.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace akrip {
namespace {

constexpr size_t kHeaderAt = 12;
constexpr size_t kSubHeaderAt = 16;
constexpr size_t kXaDataAt = 24;
constexpr size_t kMode1EdcAt = 2064;
constexpr size_t kForm1EdcAt = 2072;
constexpr size_t kForm2EdcAt = 2348;
constexpr size_t kPParityAt = 2076;
constexpr size_t kQParityAt = 2248;
constexpr uint8_t kSubModeData = 0x08;
constexpr uint8_t kSubModeForm2 = 0x20;

struct Tables {
    std::array<uint32_t, 256> edc{};
    std::array<uint8_t, 256> times2{};   // x * alpha in GF(2^8), polynomial 0x11D
    std::array<uint8_t, 256> divide3{};  // x / (alpha + 1)
};

constexpr Tables MakeTables() {
    Tables t;
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t crc = i;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1) ? 0xD8018001u : 0);
        t.edc[i] = crc;
        const auto doubled = static_cast<uint8_t>((i << 1) ^ ((i & 0x80) ? 0x11D : 0));
        t.times2[i] = doubled;
        t.divide3[static_cast<uint8_t>(i ^ doubled)] = static_cast<uint8_t>(i);
    }
    return t;
}

constexpr Tables kTables = MakeTables();

uint8_t Bcd(int64_t value) { return static_cast<uint8_t>(value / 10 << 4 | value % 10); }

// One of the two parity codes over the 2340 bytes after the sync, seen as
// `major` code words of `minor` bytes, 16-bit words split in two planes:
// P runs down the 86 columns of 24 words, Q along 52 diagonals of 43.
void Parity(uint8_t* sector, size_t major, size_t minor, size_t majorStep, size_t minorStep, size_t outAt) {
    const uint8_t* data = sector + kHeaderAt;
    const size_t size = major * minor;
    for (size_t m = 0; m < major; ++m) {
        size_t at = (m >> 1) * majorStep + (m & 1);
        uint8_t a = 0;
        uint8_t b = 0;
        for (size_t k = 0; k < minor; ++k) {
            a = kTables.times2[a ^ data[at]];
            b ^= data[at];
            at += minorStep;
            if (at >= size) at -= size;
        }
        a = kTables.divide3[kTables.times2[a] ^ b];
        sector[outAt + m] = a;
        sector[outAt + major + m] = a ^ b;
    }
}

// P then Q; an XA form 1 sector computes them as if its header were zero.
void AddParity(uint8_t* sector, bool zeroHeader) {
    uint8_t header[4];
    std::memcpy(header, sector + kHeaderAt, 4);
    if (zeroHeader) std::memset(sector + kHeaderAt, 0, 4);
    Parity(sector, 86, 24, 2, 86, kPParityAt);
    Parity(sector, 52, 43, 86, 88, kQParityAt);
    std::memcpy(sector + kHeaderAt, header, 4);
}

void PutEdc(uint8_t* sector, size_t from, size_t at) {
    const uint32_t edc = SectorEdc(std::span<const uint8_t>(sector + from, at - from));
    for (size_t k = 0; k < 4; ++k) sector[at + k] = static_cast<uint8_t>(edc >> (8 * k));
}

void PutSyncAndHeader(uint8_t* sector, int64_t lsn, uint8_t mode) {
    sector[0] = 0;
    std::fill(sector + 1, sector + 11, uint8_t{0xFF});
    sector[11] = 0;
    const int64_t frames = lsn + kMsfOffsetFrames;
    sector[12] = Bcd(frames / kFramesPerMinute);
    sector[13] = Bcd(frames / kFramesPerSecond % 60);
    sector[14] = Bcd(frames % kFramesPerSecond);
    sector[15] = mode;
}

void PutSubHeader(uint8_t* sector, uint8_t subMode) {
    const uint8_t subHeader[8] = {0, 0, subMode, 0, 0, 0, subMode, 0};
    std::memcpy(sector + kSubHeaderAt, subHeader, sizeof subHeader);
}

}  // namespace

size_t StoredSectorBytes(SectorFormat format) {
    switch (format) {
        case SectorFormat::Mode1:
        case SectorFormat::Mode2Form1: return 2048;
        case SectorFormat::Mode2Form2: return 2324;
        case SectorFormat::Mode2:
        case SectorFormat::Mode0: return 2336;
        case SectorFormat::Audio:
        case SectorFormat::Raw: return kRawSectorBytes;
    }
    return kRawSectorBytes;
}

uint32_t SectorEdc(std::span<const uint8_t> bytes) {
    uint32_t edc = 0;
    for (uint8_t byte : bytes) edc = (edc >> 8) ^ kTables.edc[(edc ^ byte) & 0xFF];
    return edc;
}

void ComposeRawSector(SectorFormat format, int64_t lsn, std::span<const uint8_t> stored,
                      std::span<uint8_t, kRawSectorBytes> sector) {
    uint8_t* out = sector.data();
    const size_t bytes = std::min(stored.size(), StoredSectorBytes(format));
    if (format == SectorFormat::Raw || format == SectorFormat::Audio) {
        std::memcpy(out, stored.data(), bytes);
        return;
    }
    std::memset(out, 0, kRawSectorBytes);
    PutSyncAndHeader(out, lsn, format == SectorFormat::Mode1 ? 1 : format == SectorFormat::Mode0 ? 0 : 2);
    switch (format) {
        case SectorFormat::Mode1:
            std::memcpy(out + kSubHeaderAt, stored.data(), bytes);
            PutEdc(out, 0, kMode1EdcAt);
            AddParity(out, false);
            break;
        case SectorFormat::Mode2Form1:
            PutSubHeader(out, kSubModeData);
            std::memcpy(out + kXaDataAt, stored.data(), bytes);
            PutEdc(out, kSubHeaderAt, kForm1EdcAt);
            AddParity(out, true);
            break;
        case SectorFormat::Mode2Form2:
            PutSubHeader(out, kSubModeForm2);
            std::memcpy(out + kXaDataAt, stored.data(), bytes);
            PutEdc(out, kSubHeaderAt, kForm2EdcAt);
            break;
        case SectorFormat::Mode2: std::memcpy(out + kSubHeaderAt, stored.data(), bytes); break;
        default:  // Mode 0: zeros after the header
            break;
    }
}

SectorKind KindOfSector(std::span<const uint8_t, kRawSectorBytes> sector) {
    SectorKind kind;
    kind.mode = sector[15] & 0x03;
    if (kind.mode == 2 && std::equal(&sector[16], &sector[20], &sector[20])) {
        kind.form = (sector[18] & kSubModeForm2) ? 2 : 1;
    }
    return kind;
}

}  // namespace akrip
