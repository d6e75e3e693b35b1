// The output formats Cadrix offers, the encoder plug-in module behind each,
// and how a quality slider position becomes the plug-in's quality code.
// Shared by the main dialog (format list, slider) and cadrix-rip.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace cadrix {

// The format number: item data of the format list, byte 3 of the stored
// settings, and the format given to OutputSession::Init.
constexpr int32_t FORMAT_PCM = 0;           // WAVE file, written by Cadrix itself
constexpr int32_t FORMAT_OGG = 1;           // cadrix_ogg.so
constexpr int32_t FORMAT_WMA = 2;           // cadrix_wma.so, constant bit rate
constexpr int32_t FORMAT_WMA_VBR = 3;       // cadrix_wma.so, variable bit rate
constexpr int32_t FORMAT_WMA_LOSSLESS = 4;  // cadrix_wma.so, lossless
constexpr int32_t FORMAT_COUNT = 5;

constexpr const char* OGG_MODULE_FILE = "cadrix_ogg.so";
constexpr const char* WMA_MODULE_FILE = "cadrix_wma.so";

struct OutputFormatInfo {
    int32_t format;
    const char* listText;    // text of the format list entry
    const char* moduleFile;  // plug-in module file name; null for FORMAT_PCM
    const char* cliName;     // cadrix-rip's --format value
    bool usesSlider;         // false: slider disabled, position 0
    int32_t sliderMax;       // slider range is 0..sliderMax (when usesSlider)
    int32_t defaultPosition; // the settings' default position for this format
};

// The five formats in format-list order (which is also format-number order).
std::span<const OutputFormatInfo> OutputFormats();

// The entry of `format`; null when it is not 0..4.
const OutputFormatInfo* FindOutputFormat(int32_t format);

// The entry whose cliName is `name` ("pcm", "ogg", "wma", "wma-vbr",
// "wma-lossless"); null when none matches.
const OutputFormatInfo* FindOutputFormatByCliName(std::string_view name);

// The quality code handed to the plug-in for `format` at slider `position`:
// FORMAT_OGG and FORMAT_WMA the position unchanged, FORMAT_WMA_VBR the
// position plus QUALITY_VBR_FLAG, FORMAT_WMA_LOSSLESS QUALITY_LOSSLESS_FLAG,
// FORMAT_PCM 0. The position is not range-checked here.
int32_t QualityCode(int32_t format, int32_t position);

}  // namespace cadrix
