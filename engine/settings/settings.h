// Cadrix's stored settings: the output format, the quality positions and the
// base output folder, kept in the Zephyrtone suite's settings file
// ($XDG_CONFIG_HOME/Zephyrtone/Zephyrtone.conf) as these values:
//   CadrixDir=<folder, at most 255 bytes>
//   CadrixFormat=<unsigned 32-bit number: ogg + 256*wma + 65536*wmaVbr + 16777216*format>
//   CadrixOwnFormat=<a chosen format the suite has no number for (5: FLAC); 0: none>
//   CadrixFlacLevel=<FLAC compression level 0..8>
//   CadrixOnlineLookup=<1: name unknown discs and ask AccurateRip (the default), 0: never>
//   CadrixReadOffset.<VENDOR MODEL>=<a drive's read offset in samples, e.g. +667>
// The first two are shared with the rest of the suite and keep their layout:
// byte 3 of CadrixFormat only ever holds a format the suite knows (0..4);
// keys of Cadrix's own hold what the suite's 4-byte value has no room for.
// Other lines of the file belong to the rest of the suite and are kept as
// they are when Cadrix rewrites its values; a file Cadrix cannot read whole
// is never rewritten.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "output/output_format.h"
#include "util/utf8_text.h"

namespace cadrix {

inline constexpr int32_t DEFAULT_FORMAT = FORMAT_PCM;
inline constexpr size_t MAX_STORED_DIR_BYTES = 255;

inline constexpr const char* SETTINGS_FILE_NAME = "Zephyrtone.conf";
inline constexpr const char* DEFAULT_FOLDER_LEAF = "My Music";

struct CadrixSettings {
    int32_t format = DEFAULT_FORMAT;
    // What byte 3 of CadrixFormat holds: `format` when the suite knows it,
    // else the last format chosen that the suite knows.
    int32_t suiteFormat = DEFAULT_FORMAT;
    QualityPositions quality = DefaultQualityPositions();  // by format number
    std::string outputDir;
    bool onlineLookup = true;

    int32_t& Quality(int32_t f) { return quality[static_cast<size_t>(f)]; }
    int32_t Quality(int32_t f) const { return quality[static_cast<size_t>(f)]; }
};

// The suite's folder: $XDG_CONFIG_HOME/Zephyrtone, else $HOME/.config/Zephyrtone;
// empty when neither variable is set.
std::string SuiteConfigDir();
// SuiteConfigDir() + "/" + SETTINGS_FILE_NAME, or empty.
std::string SettingsFilePath();

// The stored values as found in the file's text; absent when the value is
// missing or unreadable (CadrixDir longer than 255 bytes, a number that is
// not an unsigned 32-bit decimal).
struct StoredValues {
    std::optional<std::string> dir;
    std::optional<uint32_t> formatWord;
    std::optional<uint32_t> ownFormat;
    std::optional<uint32_t> flacLevel;
    std::optional<uint32_t> onlineLookup;
};
StoredValues ParseSettingsText(std::string_view text);

// The 4-byte value: byte 0 ogg, 1 wma, 2 wmaVbr, 3 the suite's format
// (format, or suiteFormat for a format the suite has no number for), each
// modulo 256. Unpacking sets both format and suiteFormat from byte 3.
uint32_t PackFormatWord(const CadrixSettings& settings);
void UnpackFormatWord(uint32_t word, CadrixSettings& settings);

// Out-of-range values back to their own defaults: an unknown format, a
// suiteFormat the suite does not know, and each position outside 0 .. its format's storedMax (ogg above 100, wma 10
// or above, wmaVbr 6 or above, flac above 8).
void ApplySettingsBounds(CadrixSettings& settings);

// `documentsDir` + "/" (unless it ends in one) + "My Music"; empty when
// `documentsDir` is empty.
std::string DefaultOutputDir(std::string_view documentsDir);

// Defaults, then the stored values of the file at `path` (a missing,
// unreadable or garbled file leaves the defaults; an existing file that
// cannot be read is said on standard error), then the default folder rule
// with `documentsDir`, then the bounds. A stored byte 3 above 4 is out of
// range, as for the suite; CadrixOwnFormat=5 chooses FLAC.
CadrixSettings LoadSettingsFile(const std::string& path, std::string_view documentsDir);

// `text` (the file's current content, possibly empty) with CadrixDir (cut to
// 255 bytes), CadrixFormat, CadrixOwnFormat, CadrixFlacLevel and
// CadrixOnlineLookup replaced or appended; other lines unchanged.
std::string UpdateSettingsText(std::string_view text, const CadrixSettings& settings);

// Rewrites the file at `path` atomically (small_file.h), creating the
// folder when needed. False when anything failed; the old file is then
// untouched. A file that exists but cannot be read whole (too large, not a
// regular file, unreadable) is not replaced: false, said on standard error.
bool SaveSettingsFile(const std::string& path, const CadrixSettings& settings);

// The read offset kept for the drive `driveKey` ("VENDOR MODEL", as
// DriveKey makes it), when the file at `path` has one within ±5880 samples.
std::optional<int32_t> LoadDriveReadOffset(const std::string& path, std::string_view driveKey);
// Keeps `samples` for the drive in the file at `path`, the other lines as
// they are; atomic as SaveSettingsFile. False when it could not be saved.
bool SaveDriveReadOffset(const std::string& path, std::string_view driveKey, int32_t samples);

}  // namespace cadrix
