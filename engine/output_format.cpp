#include "output_format.h"

#include <array>

#include "cadrix_plugin.h"

namespace cadrix {

namespace {

constexpr std::array<OutputFormatInfo, FORMAT_COUNT> kFormats{{
    {FORMAT_PCM, "Windows PCM", nullptr, "pcm", false, 0, 0},
    {FORMAT_OGG, "Ogg Vorbis 1.0", OGG_MODULE_FILE, "ogg", true, 110, 50},
    {FORMAT_WMA, "Windows Media Audio 9", WMA_MODULE_FILE, "wma", true, 9, 5},
    {FORMAT_WMA_VBR, "Windows Media Audio 9 VBR", WMA_MODULE_FILE, "wma-vbr", true, 5, 3},
    {FORMAT_WMA_LOSSLESS, "Windows Media Audio 9 Lossless", WMA_MODULE_FILE, "wma-lossless",
     false, 0, 0},
}};

}  // namespace

std::span<const OutputFormatInfo> OutputFormats() { return kFormats; }

const OutputFormatInfo* FindOutputFormat(int32_t format) {
    if (format < 0 || format >= FORMAT_COUNT) return nullptr;
    return &kFormats[static_cast<size_t>(format)];
}

const OutputFormatInfo* FindOutputFormatByCliName(std::string_view name) {
    for (const auto& entry : kFormats) {
        if (name == entry.cliName) return &entry;
    }
    return nullptr;
}

int32_t QualityCode(int32_t format, int32_t position) {
    switch (format) {
        case FORMAT_OGG:
        case FORMAT_WMA:
            return position;
        case FORMAT_WMA_VBR:
            return position + QUALITY_VBR_FLAG;
        case FORMAT_WMA_LOSSLESS:
            return QUALITY_LOSSLESS_FLAG;
        default:
            return 0;
    }
}

}  // namespace cadrix
