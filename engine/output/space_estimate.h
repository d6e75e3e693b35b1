// The disk-space estimate shown under the track list: bytes per track for the
// chosen format and quality, and the text of the "Disk Space Required" line.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "output/output_format.h"

namespace cadrix {

// Kilobits per second (= bits per millisecond) by slider position.
inline constexpr uint32_t OGG_RATE_TABLE[12] = {48, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 500};
inline constexpr uint32_t WMA_RATE_TABLE[10] = {32, 48, 64, 80, 96, 128, 160, 192, 256, 320};
inline constexpr uint32_t WMA_VBR_RATE_TABLE[6] = {64, 80, 96, 160, 256, 320};
inline constexpr uint32_t LOSSLESS_RATE_KBPS = 900;
// Uncompressed CD audio: 176,400 bytes per second = 1764 bytes per 10 ms.
inline constexpr uint32_t PCM_BYTES_PER_10MS = 1764;

// The entry of `table` at `index`, clamped to the table.
template <size_t N>
uint32_t RateAt(const uint32_t (&table)[N], int32_t index) {
    return table[std::clamp<int32_t>(index, 0, static_cast<int32_t>(N) - 1)];
}

// Ogg rate for slider position 0..110: table entries every 10 positions, a
// truncated straight-line blend in between (55 -> 144, 105 -> 410).
uint32_t OggRateKbps(int32_t position);

// Estimated output bytes of one track of `lengthMs` milliseconds in `format`
// at the format's kept position.
uint64_t EstimatedTrackBytes(int32_t format, const QualityPositions& quality, uint32_t lengthMs);

// "Disk Space Required: <n>Mb", n rounded half up to whole MiB from the whole
// KiB, with " [Estimated]" for the variable-size formats when n is not 0.
std::string SpaceEstimateText(int32_t format, uint64_t totalBytes);

}  // namespace cadrix
