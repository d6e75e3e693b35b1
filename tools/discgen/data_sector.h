// Plausible data sectors for the data tracks of test discs: the sync pattern,
// a header with the sector's address and mode, readable user data naming the
// sector, and for mode 1 the EDC. The error-correction bytes stay zero.
#ifndef CADRIX_DISCGEN_DATA_SECTOR_H
#define CADRIX_DISCGEN_DATA_SECTOR_H

#include <cstdint>
#include <span>

#include "disc_generator.h"

namespace cadrix::discgen {

// Bytes per stored sector of a data track mode (2048 or 2352).
uint32_t SectorBytes(TrackMode mode);

// Fills `sector` (SectorBytes(mode) bytes) with the sector at `lba` (counted
// from the program area's start) of a data track.
void MakeDataSector(TrackMode mode, uint32_t lba, uint64_t seed, std::span<uint8_t> sector);

// The CD-ROM EDC: CRC-32 with the reflected polynomial 0xD8018001, initial 0.
uint32_t CdromEdc(std::span<const uint8_t> bytes);

}  // namespace cadrix::discgen

#endif
