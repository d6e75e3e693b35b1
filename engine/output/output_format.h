// The output formats Cadrix offers, as one table: what the format list, the
// quality slider, the disk-space estimate, the settings and cadrix-rip know
// about each format, and how a slider position becomes a plug-in's quality
// code.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace cadrix {

// The format number: item data of the format list, byte 3 of the stored
// settings, and the format an extraction writes.
enum class OutputFormat : int32_t { Pcm = 0, Ogg = 1, Wma = 2, WmaVbr = 3, WmaLossless = 4, Flac = 5 };

constexpr int32_t FORMAT_PCM = 0;           // WAVE file, written by Cadrix itself
constexpr int32_t FORMAT_OGG = 1;           // cadrix_ogg.so
constexpr int32_t FORMAT_WMA = 2;           // cadrix_wma.so, constant bit rate
constexpr int32_t FORMAT_WMA_VBR = 3;       // cadrix_wma.so, variable bit rate
constexpr int32_t FORMAT_WMA_LOSSLESS = 4;  // cadrix_wma.so, lossless
constexpr int32_t FORMAT_FLAC = 5;          // cadrix_flac.so
constexpr int32_t FORMAT_COUNT = 6;

// The formats the Zephyrtone suite knows by number (0..4); the suite's
// stored format never holds another.
constexpr bool IsSuiteFormat(int32_t format) { return format >= FORMAT_PCM && format <= FORMAT_WMA_LOSSLESS; }

constexpr const char* OGG_MODULE_FILE = "cadrix_ogg.so";
constexpr const char* WMA_MODULE_FILE = "cadrix_wma.so";
constexpr const char* FLAC_MODULE_FILE = "cadrix_flac.so";

struct OutputFormatInfo {
    int32_t format;
    const char* listText;    // text of the format list entry
    const char* moduleFile;  // plug-in module file name; null: WAVE, written by Cadrix
    const char* cliName;     // cadrix-rip's --format value
    // The quality slider: 0..sliderMax with these tick and page steps.
    // sliderMax 0: the format has no quality; the slider is disabled at 0.
    int32_t sliderMax;
    int32_t tickStep;
    int32_t pageStep;
    int32_t defaultPosition;
    int32_t storedMax;  // the settings bring back positions up to this one
    // The plug-in's quality code: the position (when codeTakesPosition) plus
    // these flag bits.
    bool codeTakesPosition;
    int32_t codeFlags;
    // The slider's tooltip for a position; empty keeps the previous text.
    std::string (*tipText)(int32_t position);
    // The estimate: a bit rate by position, or when null `pcmPercent` of
    // the uncompressed size; `estimated` adds " [Estimated]".
    uint32_t (*rateKbps)(int32_t position);
    uint32_t pcmPercent;
    bool estimated;

    bool HasQuality() const { return sliderMax > 0; }
    bool IsPlugin() const { return moduleFile != nullptr; }
};

// Every format, in format-number order (also the format list's order).
std::span<const OutputFormatInfo> OutputFormats();

// The entry of `format`; null when it is not a known format number.
const OutputFormatInfo* FindOutputFormat(int32_t format);

// The entry whose cliName is `name`; null when none matches.
const OutputFormatInfo* FindOutputFormatByCliName(std::string_view name);

// The quality code handed to the plug-in for `format` at slider `position`
// (0 for an unknown format). The position is not range-checked here.
int32_t QualityCode(int32_t format, int32_t position);

// One kept slider position per format, indexed by format number.
using QualityPositions = std::array<int32_t, FORMAT_COUNT>;
QualityPositions DefaultQualityPositions();

}  // namespace cadrix
