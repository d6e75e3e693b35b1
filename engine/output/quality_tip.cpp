#include "output/quality_tip.h"

#include "output/output_format.h"

namespace cadrix {

std::string UncompressedTip(int32_t) { return "Uncompressed"; }

// Ogg's quality value with two decimals, written with integer arithmetic
// only so that every position shows the same digits on every machine.
std::string VorbisQualityTip(int32_t position) {
    std::string text = "Quality: ";
    int64_t v = 0;
    if (position < 10) {
        text += '-';
        v = 10 - int64_t{position};
    } else {
        v = int64_t{position} - 10;
    }
    text += std::to_string(v / 100);
    text += '.';
    text += static_cast<char>('0' + (v % 100) / 10);
    text += static_cast<char>('0' + (v % 100) % 10);
    return text;
}

std::string WmaBitrateTip(int32_t position) {
    if (position < 0 || position > 9) return {};
    return "Bitrate: " + std::to_string(WMA_BITRATES_KBPS[position]) + "kbps";
}

std::string LevelTip(int32_t position) { return "Quality: " + std::to_string(position); }

std::string LosslessTip(int32_t) { return "Lossless"; }

std::string CompressionTip(int32_t position) { return "Compression: " + std::to_string(position); }

std::string QualityTipText(int32_t format, int32_t position, const std::string& previous) {
    const OutputFormatInfo* info = FindOutputFormat(format);
    if (info == nullptr) return previous;
    std::string text = info->tipText(position);
    return text.empty() ? previous : text;
}

}  // namespace cadrix
