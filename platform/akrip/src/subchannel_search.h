// Finds where pregaps and index points lie on a disc from its Q sub-channel,
// as careful rippers do: a few single-sector reads around each track
// boundary, narrowed by a search, never a pass over the whole disc.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "disc_toc.h"

namespace akrip {

// What a mode-1 Q frame says of the sector it came with.
struct QPoint {
    int64_t lsn = 0;  // the sector the frame names by its absolute time
    int track = 0;    // 1..99; 0xAA: the lead-out
    int index = 0;
};

// The mode-1 position in a formatted Q frame (READ CD sub-channel 010b:
// 10 bytes, the CRC, P), or none when the frame is of another mode, its CRC
// is wrong or its numbers are not BCD.
std::optional<QPoint> ParseQPosition(std::span<const uint8_t, 16> q);

// Reads the formatted Q of the sector at `lsn` (false: the read failed).
using QReader = std::function<bool(int64_t lsn, std::span<uint8_t, 16> q)>;

// Fills index0 (tracks after the first; track 1's pregap is [0, start)) and
// the INDEX 02+ points of every audio track of `toc` from Q. False when the
// drive gives no usable Q (the TOC is then left as it was); `stop` ends the
// search early with false.
bool FindIndexPoints(DiscToc& toc, const QReader& read, const std::function<bool()>& stop);

}  // namespace akrip
