// The texts the quality slider's tooltip shows, one rule per kind of format.
#pragma once

#include <cstdint>
#include <string>

namespace cadrix {

// Bit rates of the WMA constant-bit-rate profiles, kbit/s, by slider position.
inline constexpr int32_t WMA_BITRATES_KBPS[10] = {32, 48, 64, 80, 96, 128, 160, 192, 256, 320};

std::string UncompressedTip(int32_t position);   // "Uncompressed"
std::string VorbisQualityTip(int32_t position);  // "Quality: -0.05" ((position - 10) / 100)
std::string WmaBitrateTip(int32_t position);     // "Bitrate: 128kbps"; empty above 9
std::string LevelTip(int32_t position);          // "Quality: 3"
std::string LosslessTip(int32_t position);       // "Lossless"
std::string CompressionTip(int32_t position);    // "Compression: 5"

// The text for `format` at `position`; `previous` where the format's rule
// has no text for the position or the format is unknown.
std::string QualityTipText(int32_t format, int32_t position, const std::string& previous);

}  // namespace cadrix
