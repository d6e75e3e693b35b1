#include "quality_tip.h"

#include "output_format.h"

namespace cadrix {

namespace {

// Ogg's quality value (position - 10) / 100 with two decimals, written with
// integer arithmetic only so that every position shows the same digits on
// every machine.
std::string OggQualityText(int64_t position) {
    std::string text;
    int64_t v = 0;
    if (position < 10) {
        text += '-';
        v = 10 - position;
    } else {
        v = position - 10;
    }
    text += std::to_string(v / 100);
    text += '.';
    text += static_cast<char>('0' + (v % 100) / 10);
    text += static_cast<char>('0' + (v % 100) % 10);
    return text;
}

}  // namespace

std::string QualityTipText(int32_t format, int32_t position, const std::string& previous) {
    switch (format) {
    case FORMAT_PCM:
        return "Uncompressed";
    case FORMAT_OGG:
        return "Quality: " + OggQualityText(position);
    case FORMAT_WMA:
        if (position < 0 || position > 9) return previous;
        return "Bitrate: " + std::to_string(WMA_BITRATES_KBPS[position]) + "kbps";
    case FORMAT_WMA_VBR:
        return "Quality: " + std::to_string(position);
    case FORMAT_WMA_LOSSLESS:
        return "Lossless";
    default:
        return previous;
    }
}

}  // namespace cadrix
