#include "names/disc_database.h"

#include <charconv>
#include <cstdlib>
#include <limits>
#include <optional>

#include "names/genre_table.h"
#include "names/release_ids.h"
#include "util/small_file.h"

namespace cadrix {

namespace {

constexpr std::string_view kIniName = "zephtone.ini";
constexpr std::string_view kSuiteFolder = "Zephyrtone";
constexpr std::string_view kDataDirKey = "datadir:";

// Calls `apply(line)` for each line of `text` until it returns true.
template <typename Apply>
void ForEachLine(std::string_view text, Apply&& apply) {
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (end != std::string_view::npos && line.ends_with('\r')) line.remove_suffix(1);
        if (apply(line)) return;
        if (end == std::string_view::npos) return;
        text.remove_prefix(end + 1);
    }
}

// The text of an ini or database file, or none when there is no file or it
// cannot be read (see small_file.h); a file that exists and is refused is
// said on standard error. Lines may be of any length.
std::optional<std::string> ReadTextFile(const std::string& path) {
    SmallFileRead read = ReadSmallFileChecked(path);
    if (!read.text && !read.missing) SayFileRefused(path, read.reason, "it is not read");
    return std::move(read.text);
}

// Applies one ini line; true when it named a folder and reading stops.
bool ApplyIniLine(std::string_view line, std::string& dir) {
    if (!line.starts_with(kDataDirKey)) return false;
    dir.assign(line.substr(kDataDirKey.size()));
    return !dir.empty();
}

std::string FinishDataDir(std::string dir) {
    if (!dir.empty() && !dir.ends_with('/')) dir.push_back('/');
    return dir;
}

bool IsAtoiSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

int32_t ParseAtoi(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsAtoiSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate the magnitude, stopping once it is beyond any int32 value.
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value <= kLimit) value = value * 10 + (text[i] - '0');
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

std::string SuiteIniPath() {
    std::string base;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && config[0] == '/') {
        base = config;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        base = std::string(home) + "/.config";
    } else {
        return {};
    }
    if (!base.ends_with('/')) base.push_back('/');
    base.append(kSuiteFolder).push_back('/');
    base.append(kIniName);
    return base;
}

std::string ParseDataDir(std::string_view ini) {
    std::string dir;
    ForEachLine(ini, [&](std::string_view line) { return ApplyIniLine(line, dir); });
    return FinishDataDir(std::move(dir));
}

std::string ReadDataDir() {
    const std::string path = SuiteIniPath();
    if (path.empty()) return {};
    const auto text = ReadTextFile(path);
    return text ? ParseDataDir(*text) : std::string();
}

std::string DiscDatabasePath(std::string_view dataDir, uint32_t discId) {
    char hex[8];
    const auto result = std::to_chars(hex, hex + sizeof hex, discId, 16);
    std::string path(dataDir);
    path.append(hex, result.ptr);
    path.append(".cdb");
    return path;
}

void DiscDatabaseReader::ApplyLine(std::string_view line) {
    auto value = [&](std::string_view key, std::string_view& rest) {
        if (!line.starts_with(key)) return false;
        rest = line.substr(key.size());
        return true;
    };
    // A track line: the slot number runs up to the first '=', the text
    // follows it. Null for a line without '=' or a slot out of range.
    auto trackSlot = [&](std::string_view rest, std::string_view& text) -> TrackRecord* {
        const size_t equals = rest.find('=');
        if (equals == std::string_view::npos) return nullptr;
        const int32_t slot = ParseAtoi(rest.substr(0, equals));
        if (slot < 0 || slot >= TRACK_SLOTS) return nullptr;
        text = rest.substr(equals + 1);
        return &record_.tracks[static_cast<size_t>(slot)];
    };

    std::string_view rest;
    if (ApplyIdLine(line, record_)) {
        return;
    } else if (value("DARTIST=", rest)) {
        record_.discArtist.assign(rest);
    } else if (value("DTITLE=", rest)) {
        record_.discTitle.assign(rest);
    } else if (value("DYEAR=", rest)) {
        record_.year.assign(rest);
    } else if (value("REGION=", rest)) {
        record_.region.assign(rest);
    } else if (value("DSET=", rest)) {
        if (ParseAtoi(rest) != 0) inSet_ = true;
    } else if (value("DSETNUMBER=", rest)) {
        const int32_t number = ParseAtoi(rest);
        setNumber_ = (number >= 0 && number <= 99) ? number : 0;
    } else if (value("DCOMP=", rest)) {
        record_.compilation = ParseAtoi(rest);
    } else if (value("DGENRE1=", rest)) {
        const int32_t genre = ParseAtoi(rest);
        if (genre >= 0 && genre < GENRE_COUNT) record_.genre.assign(GenreTable[static_cast<size_t>(genre)]);
    } else if (value("TARTIST", rest)) {
        std::string_view text;
        if (TrackRecord* slot = trackSlot(rest, text)) slot->artist.assign(text);
    } else if (value("TTITLE", rest)) {
        std::string_view text;
        if (TrackRecord* slot = trackSlot(rest, text)) slot->title.assign(text);
    }
}

void DiscDatabaseReader::Finish() {
    if (inSet_ && setNumber_ != 0) record_.setNumber = setNumber_;
    if (inSet_ && setNumber_ != 0 && !record_.discTitle.empty()) {
        record_.discTitle.append(" (").append(std::to_string(setNumber_)).append(")");
    }
}

void ParseDiscDatabase(std::string_view text, DriveRecord& record) {
    DiscDatabaseReader reader(record);
    ForEachLine(text, [&](std::string_view line) {
        reader.ApplyLine(line);
        return false;
    });
    reader.Finish();
}

bool ReadDiscDatabase(std::string_view dataDir, DriveRecord& record) {
    if (dataDir.empty()) return false;
    const auto text = ReadTextFile(DiscDatabasePath(dataDir, record.discId));
    if (!text) return false;
    ParseDiscDatabase(*text, record);
    return true;
}

}  // namespace cadrix
