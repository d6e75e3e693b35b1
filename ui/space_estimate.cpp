#include "space_estimate.h"

#include <algorithm>

#include "output_format.h"

namespace cadrix {

namespace {

template <size_t N>
uint32_t RateAt(const uint32_t (&table)[N], int32_t index) {
    return table[std::clamp<int32_t>(index, 0, static_cast<int32_t>(N) - 1)];
}

}  // namespace

uint32_t OggRateKbps(int32_t position) {
    position = std::clamp(position, 0, 110);
    const int32_t i = position / 10;
    const uint32_t r = static_cast<uint32_t>(position % 10);
    if (r == 0) return OGG_RATE_TABLE[i];
    return (OGG_RATE_TABLE[i] * (10 - r) + r * OGG_RATE_TABLE[i + 1]) / 10;
}

uint64_t EstimatedTrackBytes(int32_t format, const QualityPositions& quality, uint32_t lengthMs) {
    // 64-bit products: 1764 x a 99-minute track already exceeds 32 bits.
    const uint64_t ms = lengthMs;
    switch (format) {
    case FORMAT_OGG:
        return OggRateKbps(quality.oggQuality) * ms / 8;
    case FORMAT_WMA:
        return RateAt(WMA_RATE_TABLE, quality.wmaQuality) * ms / 8;
    case FORMAT_WMA_VBR:
        return RateAt(WMA_VBR_RATE_TABLE, quality.wmaVbrQuality) * ms / 8;
    case FORMAT_WMA_LOSSLESS:
        return LOSSLESS_RATE_KBPS * ms / 8;
    default:
        return PCM_BYTES_PER_10MS * ms / 10;
    }
}

std::string SpaceEstimateText(int32_t format, uint64_t totalBytes) {
    const uint64_t kibibytes = totalBytes / 1024;
    uint64_t megabytes = kibibytes / 1024;
    if (kibibytes % 1024 >= 512) ++megabytes;
    std::string text = "Disk Space Required: " + std::to_string(megabytes) + "Mb";
    const bool variable = format == FORMAT_OGG || format == FORMAT_WMA_VBR || format == FORMAT_WMA_LOSSLESS;
    if (variable && megabytes != 0) text += " [Estimated]";
    return text;
}

}  // namespace cadrix
