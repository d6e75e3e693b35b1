// CD-ROM data sectors as a disc carries them (ECMA-130, the CD-ROM XA
// format): 12 sync bytes, a 4-byte header (BCD address and mode), for XA a
// sub-header, the user data, the EDC and, for Mode 1 and XA form 1, the P
// and Q Reed-Solomon parity. Images often store less than the whole sector;
// a drive reading the disc they stand for returns all of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "cd_geometry.h"
#include "image_plan.h"

namespace akrip {

inline constexpr size_t kRawSectorBytes = cadrix::cd::kFrameBytes;

// The bytes an image of `format` stores per sector.
size_t StoredSectorBytes(SectorFormat format);

// The EDC: CRC-32 with the reflected polynomial 0xD8018001, initial 0.
uint32_t SectorEdc(std::span<const uint8_t> bytes);

// The whole sector at `lsn` from the bytes an image of `format` stores for
// it (StoredSectorBytes of them; Raw is copied as it is). The sub-header of a
// sector stored without one says data (form 1) or form 2.
void ComposeRawSector(SectorFormat format, int64_t lsn, std::span<const uint8_t> stored,
                      std::span<uint8_t, kRawSectorBytes> sector);

// The sector's mode by its header (0, 1, 2), and for Mode 2 its XA form
// (1, 2) when both copies of the sub-header agree, else 0 (formless).
struct SectorKind {
    uint8_t mode = 0;
    uint8_t form = 0;
};
SectorKind KindOfSector(std::span<const uint8_t, kRawSectorBytes> sector);

}  // namespace akrip
