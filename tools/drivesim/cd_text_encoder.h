// The CD-Text of an emulated disc as a drive returns it for READ TOC format
// 5: 18-byte packs of block 0 (one language, ISO-8859-1), with the three
// size-information packs and each pack's CRC.
#pragma once

#include <cstdint>
#include <vector>

#include "disc_toc.h"

namespace drivesim {

// The packs (without the 4-byte reply header) for the titles, performers
// and songwriters of `toc`; empty when it has no CD-Text.
std::vector<uint8_t> EncodeCdTextPacks(const akrip::DiscToc& toc);

}  // namespace drivesim
