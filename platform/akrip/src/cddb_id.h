// The freedb/CDDB disc identifier.
#pragma once

#include <cstdint>
#include <span>

#include "disc_toc.h"

namespace akrip {

// The CDDB id of a TOC (0 for no disc). Every track counts, data tracks too.
uint32_t CddbDiscId(const DiscToc& toc);

// Fills the disc-id word array of GetCDDBDiskID as far as `words` reaches:
// the id, the track count, each track's frame offset (LSN + 150) and the disc
// length in seconds; last + 3 words in all.
void FillCddbWords(const DiscToc& toc, std::span<uint32_t> words);

}  // namespace akrip
