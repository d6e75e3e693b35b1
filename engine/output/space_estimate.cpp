#include "output/space_estimate.h"

namespace cadrix {

uint32_t OggRateKbps(int32_t position) {
    position = std::clamp(position, 0, 110);
    const int32_t i = position / 10;
    const uint32_t r = static_cast<uint32_t>(position % 10);
    if (r == 0) return OGG_RATE_TABLE[i];
    return (OGG_RATE_TABLE[i] * (10 - r) + r * OGG_RATE_TABLE[i + 1]) / 10;
}

uint64_t EstimatedTrackBytes(int32_t format, const QualityPositions& quality, uint32_t lengthMs) {
    const OutputFormatInfo* info = FindOutputFormat(format);
    if (info == nullptr) info = FindOutputFormat(FORMAT_PCM);
    // 64-bit products: 1764 x a 99-minute track already exceeds 32 bits.
    const uint64_t ms = lengthMs;
    if (info->rateKbps != nullptr) {
        return info->rateKbps(quality[static_cast<size_t>(info->format)]) * ms / 8;
    }
    return PCM_BYTES_PER_10MS * ms / 10 * info->pcmPercent / 100;
}

std::string SpaceEstimateText(int32_t format, uint64_t totalBytes) {
    const uint64_t kibibytes = totalBytes / 1024;
    uint64_t megabytes = kibibytes / 1024;
    if (kibibytes % 1024 >= 512) ++megabytes;
    std::string text = "Disk Space Required: " + std::to_string(megabytes) + "Mb";
    const OutputFormatInfo* info = FindOutputFormat(format);
    if (info != nullptr && info->estimated && megabytes != 0) text += " [Estimated]";
    return text;
}

}  // namespace cadrix
