// The text the quality slider's tooltip shows for a format and position.
#pragma once

#include <cstdint>
#include <string>

namespace cadrix {

// Bit rates of the WMA constant-bit-rate profiles, kbit/s, by slider position.
inline constexpr int32_t WMA_BITRATES_KBPS[10] = {32, 48, 64, 80, 96, 128, 160, 192, 256, 320};

// "Uncompressed", "Quality: -0.05", "Bitrate: 128kbps", "Quality: 3",
// "Lossless". Where a format/position pair has no text (a WMA position above
// 9, an unknown format) the previous text is kept.
std::string QualityTipText(int32_t format, int32_t position, const std::string& previous);

}  // namespace cadrix
