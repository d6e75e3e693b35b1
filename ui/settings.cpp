#include "settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace cadrix {

namespace {

constexpr std::string_view DIR_NAME = "CadrixDir";
constexpr std::string_view FORMAT_NAME = "CadrixFormat";

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
            if (next == '\\') { out += '\\'; ++i; continue; }
            if (next == 'n') { out += '\n'; ++i; continue; }
            if (next == 'r') { out += '\r'; ++i; continue; }
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

bool ReadWholeFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) return false;
    text = buffer.str();
    return true;
}

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
        }
    }
    return values;
}

uint32_t PackFormatWord(const CadrixSettings& s) {
    auto byte = [](int32_t v) { return static_cast<uint32_t>(v) & 0xFFu; };
    return byte(s.oggQuality) | byte(s.wmaQuality) << 8 | byte(s.wmaVbrQuality) << 16 | byte(s.format) << 24;
}

void UnpackFormatWord(uint32_t word, CadrixSettings& s) {
    s.oggQuality = static_cast<int32_t>(word & 0xFF);
    s.wmaQuality = static_cast<int32_t>((word >> 8) & 0xFF);
    s.wmaVbrQuality = static_cast<int32_t>((word >> 16) & 0xFF);
    s.format = static_cast<int32_t>((word >> 24) & 0xFF);
}

void ApplySettingsBounds(CadrixSettings& s) {
    if (s.format < 0 || s.format > 4) s.format = DEFAULT_FORMAT;
    // 100, not the slider's 110: stored positions 101..110 come back as 50.
    if (s.oggQuality < 0 || s.oggQuality > 100) s.oggQuality = DEFAULT_OGG_QUALITY;
    if (s.wmaQuality < 0 || s.wmaQuality >= 10) s.wmaQuality = DEFAULT_WMA_QUALITY;
    if (s.wmaVbrQuality < 0 || s.wmaVbrQuality >= 6) s.wmaVbrQuality = DEFAULT_WMA_VBR_QUALITY;
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
    std::string text;
    if (!path.empty() && ReadWholeFile(path, text)) {
        const StoredValues values = ParseSettingsText(text);
        if (values.dir) settings.outputDir = *values.dir;
        if (values.formatWord) UnpackFormatWord(*values.formatWord, settings);
    }
    if (settings.outputDir.empty()) settings.outputDir = DefaultOutputDir(documentsDir);
    ApplySettingsBounds(settings);
    return settings;
}

std::string UpdateSettingsText(std::string_view text, const CadrixSettings& settings) {
    const std::string dirLine =
        std::string(DIR_NAME) + "=" + EscapeValue(std::string_view(settings.outputDir).substr(0, MAX_STORED_DIR_BYTES));
    const std::string formatLine = std::string(FORMAT_NAME) + "=" + std::to_string(PackFormatWord(settings));
    std::string out;
    bool dirWritten = false;
    bool formatWritten = false;
    for (std::string_view line : SplitLines(text)) {
        std::string_view name, value;
        if (SplitValueLine(line, name, value)) {
            // The first line of each value is replaced; later duplicates go.
            if (SameName(name, DIR_NAME)) {
                if (!dirWritten) out += dirLine + "\n";
                dirWritten = true;
                continue;
            }
            if (SameName(name, FORMAT_NAME)) {
                if (!formatWritten) out += formatLine + "\n";
                formatWritten = true;
                continue;
            }
        }
        out.append(line);
        out += '\n';
    }
    if (!dirWritten) out += dirLine + "\n";
    if (!formatWritten) out += formatLine + "\n";
    return out;
}

bool SaveSettingsFile(const std::string& path, const CadrixSettings& settings) {
    if (path.empty()) return false;
    const std::filesystem::path target(path);
    std::error_code ec;
    std::filesystem::create_directories(target.parent_path(), ec);
    if (ec) return false;

    std::string current;
    ReadWholeFile(path, current);  // a missing file starts empty
    const std::string text = UpdateSettingsText(current, settings);

    std::string temp = path + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = true;
    size_t done = 0;
    while (ok && done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) ok = false;
        else done += static_cast<size_t>(n);
    }
    if (ok && fsync(fd) != 0) ok = false;
    if (close(fd) != 0) ok = false;
    if (ok && rename(temp.c_str(), path.c_str()) != 0) ok = false;
    if (!ok) unlink(temp.c_str());
    return ok;
}

}  // namespace cadrix
