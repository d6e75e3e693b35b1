#include "output/output_format.h"

#include "cadrix_plugin.h"
#include "output/quality_tip.h"
#include "output/space_estimate.h"

namespace cadrix {

namespace {

uint32_t WmaRate(int32_t position) { return RateAt(WMA_RATE_TABLE, position); }
uint32_t WmaVbrRate(int32_t position) { return RateAt(WMA_VBR_RATE_TABLE, position); }
uint32_t LosslessRate(int32_t) { return LOSSLESS_RATE_KBPS; }

constexpr std::array<OutputFormatInfo, FORMAT_COUNT> kFormats{{
    {FORMAT_PCM, "Windows PCM", nullptr, "pcm", 0, 1, 1, 0, 0, false, 0, &UncompressedTip, nullptr, 100, false},
    {FORMAT_OGG, "Ogg Vorbis 1.0", OGG_MODULE_FILE, "ogg", 110, 10, 10, 50, 100, true, 0, &VorbisQualityTip,
     &OggRateKbps, 0, true},
    {FORMAT_WMA, "Windows Media Audio 9", WMA_MODULE_FILE, "wma", 9, 1, 1, 5, 9, true, 0, &WmaBitrateTip, &WmaRate, 0,
     false},
    {FORMAT_WMA_VBR, "Windows Media Audio 9 VBR", WMA_MODULE_FILE, "wma-vbr", 5, 1, 1, 3, 5, true, QUALITY_VBR_FLAG,
     &LevelTip, &WmaVbrRate, 0, true},
    {FORMAT_WMA_LOSSLESS, "Windows Media Audio 9 Lossless", WMA_MODULE_FILE, "wma-lossless", 0, 1, 1, 0, 0, false,
     QUALITY_LOSSLESS_FLAG, &LosslessTip, &LosslessRate, 0, true},
    {FORMAT_FLAC, "FLAC", FLAC_MODULE_FILE, "flac", 8, 1, 1, 5, 8, true, 0, &CompressionTip, nullptr, 60, true},
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
    const OutputFormatInfo* info = FindOutputFormat(format);
    if (info == nullptr) return 0;
    return (info->codeTakesPosition ? position : 0) + info->codeFlags;
}

QualityPositions DefaultQualityPositions() {
    QualityPositions positions{};
    for (const auto& entry : kFormats) positions[static_cast<size_t>(entry.format)] = entry.defaultPosition;
    return positions;
}

}  // namespace cadrix
