#include "settings/settings.h"

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "cd_geometry.h"
#include "util/small_file.h"

namespace cadrix {

namespace {

constexpr std::string_view DIR_NAME = "CadrixDir";
constexpr std::string_view FORMAT_NAME = "CadrixFormat";
constexpr std::string_view OWN_FORMAT_NAME = "CadrixOwnFormat";
constexpr std::string_view FLAC_LEVEL_NAME = "CadrixFlacLevel";
constexpr std::string_view ONLINE_LOOKUP_NAME = "CadrixOnlineLookup";

// Value names compare like registry value names: ASCII case-insensitively.
bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// One value per line; a backslash, CR or LF inside a value is escaped.
std::string EscapeValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        if (c == '\\') out += "\\\\";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else out += c;
    }
    return out;
}

std::string UnescapeValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\\' && i + 1 < value.size()) {
            const char next = value[i + 1];
            if (next == '\\') {
                out += '\\';
                ++i;
                continue;
            }
            if (next == 'n') {
                out += '\n';
                ++i;
                continue;
            }
            if (next == 'r') {
                out += '\r';
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Splits "Name=Value" (a trailing CR dropped); false for comments and lines
// without '='.
bool SplitValueLine(std::string_view line, std::string_view& name, std::string_view& value) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#' || line.front() == ';') return false;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) return false;
    name = line.substr(0, eq);
    value = line.substr(eq + 1);
    return true;
}

std::optional<uint32_t> ParseWord(std::string_view text) {
    if (text.empty()) return std::nullopt;
    uint32_t word = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), word, 10);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return word;
}

// The file's text for a rewrite: empty for a missing file; false (said on
// standard error) for one that exists but cannot be read whole, which must
// then not be replaced.
bool ReadForRewrite(const std::string& path, std::string& text) {
    SmallFileRead read = ReadSmallFileChecked(path);
    if (read.text) {
        text = std::move(*read.text);
        return true;
    }
    text.clear();
    if (read.missing) return true;
    SayFileRefused(path, read.reason, "it cannot be read whole, so Cadrix's settings are not saved into it");
    return false;
}

bool CreateParentFolder(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    return !ec;
}

// A value line as the file keeps it.
struct ValueLine {
    std::string_view name;
    std::string line;
};

}  // namespace

std::string SuiteConfigDir() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
        return std::string(xdg) + "/Zephyrtone";
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        return std::string(home) + "/.config/Zephyrtone";
    }
    return {};
}

std::string SettingsFilePath() {
    std::string dir = SuiteConfigDir();
    if (dir.empty()) return {};
    return dir + "/" + SETTINGS_FILE_NAME;
}

StoredValues ParseSettingsText(std::string_view text) {
    StoredValues values;
    bool dirSeen = false;
    bool formatSeen = false;
    bool ownSeen = false;
    bool flacSeen = false;
    bool lookupSeen = false;
    for (std::string_view line : SplitLines(text)) {
        std::string_view name, value;
        if (!SplitValueLine(line, name, value)) continue;
        if (!dirSeen && SameName(name, DIR_NAME)) {
            dirSeen = true;
            std::string dir = UnescapeValue(value);
            if (const size_t zero = dir.find('\0'); zero != std::string::npos) dir.resize(zero);
            if (dir.size() <= MAX_STORED_DIR_BYTES) values.dir = std::move(dir);
        } else if (!formatSeen && SameName(name, FORMAT_NAME)) {
            formatSeen = true;
            values.formatWord = ParseWord(value);
        } else if (!ownSeen && SameName(name, OWN_FORMAT_NAME)) {
            ownSeen = true;
            values.ownFormat = ParseWord(value);
        } else if (!flacSeen && SameName(name, FLAC_LEVEL_NAME)) {
            flacSeen = true;
            values.flacLevel = ParseWord(value);
        } else if (!lookupSeen && SameName(name, ONLINE_LOOKUP_NAME)) {
            lookupSeen = true;
            values.onlineLookup = ParseWord(value);
        }
    }
    return values;
}

uint32_t PackFormatWord(const CadrixSettings& s) {
    auto byte = [](int32_t v) { return static_cast<uint32_t>(v) & 0xFFu; };
    const int32_t suite = IsSuiteFormat(s.format) ? s.format : s.suiteFormat;
    return byte(s.Quality(FORMAT_OGG)) | byte(s.Quality(FORMAT_WMA)) << 8 | byte(s.Quality(FORMAT_WMA_VBR)) << 16 |
           byte(suite) << 24;
}

void UnpackFormatWord(uint32_t word, CadrixSettings& s) {
    s.Quality(FORMAT_OGG) = static_cast<int32_t>(word & 0xFF);
    s.Quality(FORMAT_WMA) = static_cast<int32_t>((word >> 8) & 0xFF);
    s.Quality(FORMAT_WMA_VBR) = static_cast<int32_t>((word >> 16) & 0xFF);
    s.format = s.suiteFormat = static_cast<int32_t>((word >> 24) & 0xFF);
}

void ApplySettingsBounds(CadrixSettings& s) {
    if (FindOutputFormat(s.format) == nullptr) s.format = DEFAULT_FORMAT;
    if (!IsSuiteFormat(s.suiteFormat)) s.suiteFormat = DEFAULT_FORMAT;
    // Ogg keeps 0..100, not the slider's 110: stored positions 101..110 come
    // back as 50.
    for (const OutputFormatInfo& info : OutputFormats()) {
        int32_t& position = s.Quality(info.format);
        if (position < 0 || position > info.storedMax) position = info.defaultPosition;
    }
}

std::string DefaultOutputDir(std::string_view documentsDir) {
    if (documentsDir.empty()) return {};
    std::string dir(documentsDir);
    if (dir.back() != '/') dir += '/';
    dir += DEFAULT_FOLDER_LEAF;
    return dir;
}

CadrixSettings LoadSettingsFile(const std::string& path, std::string_view documentsDir) {
    CadrixSettings settings;
    const SmallFileRead read = ReadSmallFileChecked(path);
    if (!read.text && !read.missing) SayFileRefused(path, read.reason, "the settings' defaults are used");
    if (read.text) {
        const StoredValues values = ParseSettingsText(*read.text);
        if (values.dir) settings.outputDir = *values.dir;
        if (values.formatWord) UnpackFormatWord(*values.formatWord, settings);
        // Byte 3 is the suite's: above 4 it is out of range there and here.
        if (!IsSuiteFormat(settings.format)) settings.format = settings.suiteFormat = DEFAULT_FORMAT;
        if (values.ownFormat && *values.ownFormat == static_cast<uint32_t>(FORMAT_FLAC)) settings.format = FORMAT_FLAC;
        if (values.flacLevel && *values.flacLevel <= 0xFF) {
            settings.Quality(FORMAT_FLAC) = static_cast<int32_t>(*values.flacLevel);
        }
        if (values.onlineLookup) settings.onlineLookup = *values.onlineLookup != 0;
    }
    if (settings.outputDir.empty()) settings.outputDir = DefaultOutputDir(documentsDir);
    ApplySettingsBounds(settings);
    return settings;
}

std::string UpdateSettingsText(std::string_view text, const CadrixSettings& settings) {
    ValueLine values[] = {
        {DIR_NAME, std::string(DIR_NAME) + "=" + EscapeValue(CutUtf8(settings.outputDir, MAX_STORED_DIR_BYTES))},
        {FORMAT_NAME, std::string(FORMAT_NAME) + "=" + std::to_string(PackFormatWord(settings))},
        {OWN_FORMAT_NAME,
         std::string(OWN_FORMAT_NAME) + "=" + std::to_string(IsSuiteFormat(settings.format) ? 0 : settings.format)},
        {FLAC_LEVEL_NAME, std::string(FLAC_LEVEL_NAME) + "=" + std::to_string(settings.Quality(FORMAT_FLAC))},
        {ONLINE_LOOKUP_NAME, std::string(ONLINE_LOOKUP_NAME) + "=" + (settings.onlineLookup ? "1" : "0")},
    };
    bool written[std::size(values)] = {};
    std::string out;
    for (std::string_view line : SplitLines(text)) {
        std::string_view name, value;
        bool replaced = false;
        if (SplitValueLine(line, name, value)) {
            // The first line of each value is replaced; later duplicates go.
            for (size_t k = 0; k < std::size(values) && !replaced; ++k) {
                if (!SameName(name, values[k].name)) continue;
                if (!written[k]) out += values[k].line + "\n";
                written[k] = replaced = true;
            }
        }
        if (replaced) continue;
        out.append(line);
        out += '\n';
    }
    for (size_t k = 0; k < std::size(values); ++k) {
        if (!written[k]) out += values[k].line + "\n";
    }
    return out;
}

bool SaveSettingsFile(const std::string& path, const CadrixSettings& settings) {
    std::string current;
    if (path.empty() || !CreateParentFolder(path) || !ReadForRewrite(path, current)) return false;
    return ReplaceFileAtomically(path, UpdateSettingsText(current, settings));
}

namespace {

constexpr std::string_view READ_OFFSET_PREFIX = "CadrixReadOffset.";

// The value name of a drive's offset; '=' and control bytes in a drive's
// name cannot break the line.
std::string ReadOffsetName(std::string_view driveKey) {
    std::string name(READ_OFFSET_PREFIX);
    for (char c : driveKey) name += (c == '=' || static_cast<unsigned char>(c) < 0x20) ? '_' : c;
    return name;
}

std::optional<int32_t> ParseOffset(std::string_view text) {
    if (text.starts_with('+')) text.remove_prefix(1);
    int32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (value < -cd::kMaxReadOffset || value > cd::kMaxReadOffset) return std::nullopt;
    return value;
}

}  // namespace

std::optional<int32_t> LoadDriveReadOffset(const std::string& path, std::string_view driveKey) {
    const std::optional<std::string> text = ReadSmallFile(path);
    if (driveKey.empty() || !text) return std::nullopt;
    const std::string wanted = ReadOffsetName(driveKey);
    for (std::string_view line : SplitLines(*text)) {
        std::string_view name, value;
        if (SplitValueLine(line, name, value) && SameName(name, wanted)) return ParseOffset(value);
    }
    return std::nullopt;
}

bool SaveDriveReadOffset(const std::string& path, std::string_view driveKey, int32_t samples) {
    std::string current;
    if (path.empty() || driveKey.empty() || !CreateParentFolder(path) || !ReadForRewrite(path, current)) return false;
    const std::string wanted = ReadOffsetName(driveKey);
    const std::string line = wanted + "=" + (samples > 0 ? "+" : "") + std::to_string(samples);
    std::string out;
    bool written = false;
    for (std::string_view old : SplitLines(current)) {
        std::string_view name, value;
        if (SplitValueLine(old, name, value) && SameName(name, wanted)) {
            if (!written) out += line + "\n";
            written = true;
            continue;
        }
        out.append(old);
        out += '\n';
    }
    if (!written) out += line + "\n";
    return ReplaceFileAtomically(path, out);
}

}  // namespace cadrix
