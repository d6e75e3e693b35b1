#include "vorbis_comment_block.h"

namespace {

bool ReadLength(std::span<const uint8_t> bytes, size_t& at, uint32_t& length) {
    if (bytes.size() - at < 4) return false;
    length = uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
             uint32_t{bytes[at + 3]} << 24;
    at += 4;
    return true;
}

bool ReadText(std::span<const uint8_t> bytes, size_t& at, std::string& text) {
    uint32_t length = 0;
    if (!ReadLength(bytes, at, length) || bytes.size() - at < length) return false;
    text.assign(reinterpret_cast<const char*>(bytes.data() + at), length);
    at += length;
    return true;
}

void PutLength(std::vector<uint8_t>& out, size_t length) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(length >> (8 * i)));
}

bool SameName(std::string_view entry, std::string_view name) {
    if (entry.size() <= name.size() || entry[name.size()] != '=') return false;
    for (size_t i = 0; i < name.size(); ++i) {
        const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
        if (upper(entry[i]) != upper(name[i])) return false;
    }
    return true;
}

}  // namespace

std::optional<VorbisCommentBlock> ParseVorbisCommentBlock(std::span<const uint8_t> bytes, size_t* used) {
    VorbisCommentBlock block;
    size_t at = 0;
    uint32_t count = 0;
    if (!ReadText(bytes, at, block.vendor) || !ReadLength(bytes, at, count)) return std::nullopt;
    // Every entry takes at least its four length bytes.
    if (count > (bytes.size() - at) / 4) return std::nullopt;
    block.entries.resize(count);
    for (std::string& entry : block.entries) {
        if (!ReadText(bytes, at, entry)) return std::nullopt;
    }
    if (used != nullptr) *used = at;
    return block;
}

void VorbisCommentBlock::Set(std::string_view name, std::string_view value) {
    std::string entry = std::string(name) + "=" + std::string(value);
    bool placed = false;
    for (auto it = entries.begin(); it != entries.end();) {
        if (!SameName(*it, name)) {
            ++it;
        } else if (!placed) {
            *it++ = entry;
            placed = true;
        } else {
            it = entries.erase(it);
        }
    }
    if (!placed) entries.push_back(std::move(entry));
}

std::vector<uint8_t> VorbisCommentBlock::Bytes() const {
    std::vector<uint8_t> out;
    PutLength(out, vendor.size());
    out.insert(out.end(), vendor.begin(), vendor.end());
    PutLength(out, entries.size());
    for (const std::string& entry : entries) {
        PutLength(out, entry.size());
        out.insert(out.end(), entry.begin(), entry.end());
    }
    return out;
}
