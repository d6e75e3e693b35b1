#include "verify/drive_offsets.h"

#include <algorithm>

namespace cadrix {

namespace {

constexpr size_t kNameBytes = 32;
constexpr size_t kSubmissionsAt = 2 + kNameBytes + 1;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Trimmed, blanks collapsed, ASCII upper case; control bytes dropped.
void AppendNormalised(std::string& out, std::string_view text) {
    bool blank = false;
    for (char c : text) {
        if (IsBlank(c)) {
            blank = true;
            continue;
        }
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) continue;
        if (blank && !out.empty() && out.back() != ' ') out += ' ';
        blank = false;
        out += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
}

}  // namespace

std::string DriveKey(std::string_view vendor, std::string_view model) {
    std::string modelPart;
    AppendNormalised(modelPart, model);
    if (modelPart.empty()) return {};
    std::string key;
    AppendNormalised(key, vendor);
    if (!key.empty()) key += ' ';
    return key + modelPart;
}

std::vector<DriveOffsetEntry> ParseDriveOffsets(std::span<const uint8_t> bytes) {
    std::vector<DriveOffsetEntry> entries;
    for (size_t at = 0; bytes.size() - at >= DRIVE_OFFSET_RECORD_BYTES; at += DRIVE_OFFSET_RECORD_BYTES) {
        const uint8_t* record = bytes.data() + at;
        const auto offset = static_cast<int16_t>(record[0] | record[1] << 8);
        if (offset < -MAX_LISTED_OFFSET || offset > MAX_LISTED_OFFSET) continue;
        const auto* name = reinterpret_cast<const char*>(record + 2);
        const std::string_view text(name, std::find(name, name + kNameBytes, '\0') - name);
        std::string key;
        if (text.starts_with("- ")) {
            key = DriveKey({}, text.substr(2));
        } else if (const size_t dash = text.find(" - "); dash != std::string_view::npos) {
            key = DriveKey(text.substr(0, dash), text.substr(dash + 3));
        }
        if (key.empty()) continue;
        entries.push_back({std::move(key), offset, record[kSubmissionsAt]});
    }
    return entries;
}

std::optional<int32_t> FindDriveOffset(const std::vector<DriveOffsetEntry>& entries, std::string_view key) {
    const DriveOffsetEntry* best = nullptr;
    for (const DriveOffsetEntry& entry : entries) {
        if (entry.key != key || key.empty()) continue;
        if (best == nullptr || entry.submissions > best->submissions) best = &entry;
    }
    if (best == nullptr) return std::nullopt;
    return best->offset;
}

}  // namespace cadrix
