// Cadrix's stored settings: the output format, the three quality positions
// and the base output folder, kept in the Zephyrtone suite's settings file
// ($XDG_CONFIG_HOME/Zephyrtone/Zephyrtone.conf) as two values:
//   CadrixDir=<folder, at most 255 bytes>
//   CadrixFormat=<unsigned 32-bit number: ogg + 256*wma + 65536*wmaVbr + 16777216*format>
// Other lines of the file belong to the rest of the suite and are kept as
// they are when Cadrix rewrites its two values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cadrix {

inline constexpr int32_t DEFAULT_FORMAT = 0;  // FORMAT_PCM
inline constexpr int32_t DEFAULT_OGG_QUALITY = 50;
inline constexpr int32_t DEFAULT_WMA_QUALITY = 5;
inline constexpr int32_t DEFAULT_WMA_VBR_QUALITY = 3;
inline constexpr size_t MAX_STORED_DIR_BYTES = 255;

inline constexpr const char* SETTINGS_FILE_NAME = "Zephyrtone.conf";
inline constexpr const char* DEFAULT_FOLDER_LEAF = "My Music";

struct CadrixSettings {
    int32_t format = DEFAULT_FORMAT;
    int32_t oggQuality = DEFAULT_OGG_QUALITY;
    int32_t wmaQuality = DEFAULT_WMA_QUALITY;
    int32_t wmaVbrQuality = DEFAULT_WMA_VBR_QUALITY;
    std::string outputDir;
};

// The suite's folder: $XDG_CONFIG_HOME/Zephyrtone, else $HOME/.config/Zephyrtone;
// empty when neither variable is set.
std::string SuiteConfigDir();
// SuiteConfigDir() + "/" + SETTINGS_FILE_NAME, or empty.
std::string SettingsFilePath();

// The two stored values as found in the file's text; absent when the value
// is missing or unreadable (CadrixDir longer than 255 bytes, CadrixFormat not
// an unsigned 32-bit decimal number).
struct StoredValues {
    std::optional<std::string> dir;
    std::optional<uint32_t> formatWord;
};
StoredValues ParseSettingsText(std::string_view text);

// The 4-byte value: byte 0 ogg, 1 wma, 2 wmaVbr, 3 format, each modulo 256.
uint32_t PackFormatWord(const CadrixSettings& settings);
void UnpackFormatWord(uint32_t word, CadrixSettings& settings);

// Out-of-range values back to their own defaults, in the order format, ogg
// (above 100), wma (10 or above), wmaVbr (6 or above).
void ApplySettingsBounds(CadrixSettings& settings);

// `documentsDir` + "/" (unless it ends in one) + "My Music"; empty when
// `documentsDir` is empty.
std::string DefaultOutputDir(std::string_view documentsDir);

// Defaults, then the stored values of the file at `path` (a missing,
// unreadable or garbled file leaves the defaults), then the default folder
// rule with `documentsDir`, then the bounds.
CadrixSettings LoadSettingsFile(const std::string& path, std::string_view documentsDir);

// `text` (the file's current content, possibly empty) with CadrixDir (cut to
// 255 bytes) and CadrixFormat replaced or appended; other lines unchanged.
std::string UpdateSettingsText(std::string_view text, const CadrixSettings& settings);

// Rewrites the file at `path` atomically (a temporary file in the same
// folder, flushed, then renamed over it), creating the folder when needed.
// False when anything failed; the old file is then untouched.
bool SaveSettingsFile(const std::string& path, const CadrixSettings& settings);

}  // namespace cadrix
