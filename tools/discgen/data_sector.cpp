#include "data_sector.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace cadrix::discgen {
namespace {

constexpr uint32_t kUserBytes = 2048;
constexpr uint32_t kSyncBytes = 12;
constexpr uint32_t kHeaderBytes = 4;

constexpr std::array<uint32_t, 256> MakeEdcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t value = i;
        for (int bit = 0; bit < 8; ++bit) {
            value = (value >> 1) ^ ((value & 1U) != 0 ? 0xD8018001U : 0U);
        }
        table[i] = value;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kEdcTable = MakeEdcTable();

uint8_t Bcd(uint32_t value) { return static_cast<uint8_t>(((value / 10) << 4) | (value % 10)); }

// Readable text naming the sector, so a hex dump of the image explains itself.
void FillUserData(uint32_t lba, uint64_t seed, std::span<uint8_t> data) {
    char line[64];
    const int length = std::snprintf(line, sizeof line, "CADRIX TEST DATA lba=%07u seed=%016llx\n", lba,
                                     static_cast<unsigned long long>(seed));
    const auto lineBytes = static_cast<size_t>(length);
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<uint8_t>(line[i % lineBytes]);
    }
}

}  // namespace

uint32_t SectorBytes(TrackMode mode) { return mode == TrackMode::Mode1Cooked ? kUserBytes : kFrameBytes; }

uint32_t CdromEdc(std::span<const uint8_t> bytes) {
    uint32_t edc = 0;
    for (uint8_t byte : bytes) {
        edc = (edc >> 8) ^ kEdcTable[(edc ^ byte) & 0xFFU];
    }
    return edc;
}

void MakeDataSector(TrackMode mode, uint32_t lba, uint64_t seed, std::span<uint8_t> sector) {
    std::fill(sector.begin(), sector.end(), uint8_t{0});
    if (mode == TrackMode::Mode1Cooked) {
        FillUserData(lba, seed, sector.first(kUserBytes));
        return;
    }
    // Sync: 00, ten FF, 00.
    std::fill(sector.begin() + 1, sector.begin() + 11, uint8_t{0xFF});
    const uint32_t absolute = lba + 150;
    sector[12] = Bcd(absolute / (60 * kFramesPerSecond));
    sector[13] = Bcd(absolute / kFramesPerSecond % 60);
    sector[14] = Bcd(absolute % kFramesPerSecond);
    constexpr uint32_t kDataStart = kSyncBytes + kHeaderBytes;
    if (mode == TrackMode::Mode1Raw) {
        sector[15] = 1;
        FillUserData(lba, seed, sector.subspan(kDataStart, kUserBytes));
        const uint32_t edc = CdromEdc(sector.first(kDataStart + kUserBytes));
        for (uint32_t i = 0; i < 4; ++i) {
            sector[kDataStart + kUserBytes + i] = static_cast<uint8_t>(edc >> (8 * i));
        }
    } else {
        sector[15] = 2;
        FillUserData(lba, seed, sector.subspan(kDataStart));
    }
}

}  // namespace cadrix::discgen
