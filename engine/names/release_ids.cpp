#include "names/release_ids.h"

#include <algorithm>
#include <charconv>

namespace cadrix {

namespace {

constexpr size_t kMaxIds = 16;

void Append(std::string& text, std::string_view key, std::string_view value) {
    if (!value.empty()) text.append(key).append(value).push_back('\n');
}

}  // namespace

bool IsMusicBrainzId(std::string_view text) {
    if (text.size() != 36) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

std::string CheckedIdList(std::string_view text) {
    std::string list;
    size_t count = 0;
    while (!text.empty()) {
        const size_t blank = text.find(' ');
        const std::string_view id = text.substr(0, blank);
        if (!IsMusicBrainzId(id)) return {};
        if (count++ < kMaxIds) list.append(list.empty() ? "" : " ").append(id);
        text = blank == std::string_view::npos ? std::string_view() : text.substr(blank + 1);
    }
    return list;
}

std::string CheckedBarcode(std::string_view text) {
    const bool digits = std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    return digits && text.size() >= 8 && text.size() <= 14 ? std::string(text) : std::string();
}

void AppendIdLines(std::string& text, const DiscNames& names, int32_t last) {
    Append(text, "MBRELEASE=", CheckedIdList(names.ids.release));
    Append(text, "MBRELEASEGROUP=", CheckedIdList(names.ids.releaseGroup));
    Append(text, "MBARTISTS=", CheckedIdList(names.ids.artists));
    Append(text, "BARCODE=", CheckedBarcode(names.ids.barcode));
    for (int32_t t = 1; t <= last && t < TRACK_SLOTS; ++t) {
        const TrackIds& ids = names.tracks[static_cast<size_t>(t)].ids;
        const std::string n = std::to_string(t) + "=";
        Append(text, "MBRECORDING" + n, CheckedIdList(ids.recording));
        Append(text, "MBTRACK" + n, CheckedIdList(ids.track));
        Append(text, "MBTARTISTS" + n, CheckedIdList(ids.artists));
    }
}

bool ApplyIdLine(std::string_view line, DriveRecord& record) {
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) return false;
    const std::string_view key = line.substr(0, equals);
    const std::string_view value = line.substr(equals + 1);
    if (key == "MBRELEASE") {
        record.ids.release = CheckedIdList(value);
    } else if (key == "MBRELEASEGROUP") {
        record.ids.releaseGroup = CheckedIdList(value);
    } else if (key == "MBARTISTS") {
        record.ids.artists = CheckedIdList(value);
    } else if (key == "BARCODE") {
        record.ids.barcode = CheckedBarcode(value);
    } else {
        std::string TrackIds::*field = nullptr;
        std::string_view number;
        for (const auto& [prefix, member] : {std::pair{std::string_view("MBRECORDING"), &TrackIds::recording},
                                             {std::string_view("MBTRACK"), &TrackIds::track},
                                             {std::string_view("MBTARTISTS"), &TrackIds::artists}}) {
            if (key.starts_with(prefix)) {
                number = key.substr(prefix.size());
                field = member;
            }
        }
        int slot = 0;
        const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), slot);
        if (field == nullptr || number.empty() || error != std::errc() || end != number.data() + number.size() ||
            slot < 1 || slot >= TRACK_SLOTS) {
            return false;
        }
        record.tracks[static_cast<size_t>(slot)].ids.*field = CheckedIdList(value);
    }
    return true;
}

}  // namespace cadrix
