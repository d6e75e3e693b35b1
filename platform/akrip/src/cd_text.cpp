#include "cd_text.h"

namespace akrip {
namespace {

// The length of the UTF-8 sequence starting at `at`, or 0 when none does.
size_t SequenceLength(std::string_view text, size_t at) {
    const auto c = static_cast<unsigned char>(text[at]);
    const size_t length = c < 0x80 ? 1 : (c >= 0xC2 && c < 0xE0) ? 2 : (c >= 0xE0 && c < 0xF0) ? 3
                                     : (c >= 0xF0 && c < 0xF5) ? 4 : 0;
    for (size_t k = 1; k < length; ++k) {
        if (at + k >= text.size() || (static_cast<unsigned char>(text[at + k]) & 0xC0) != 0x80) return 0;
    }
    return length;
}

void AddLines(std::string& out, size_t track, const CdTextEntry& entry) {
    const std::pair<const char*, const std::string*> fields[] = {
        {"TITLE", &entry.title}, {"PERFORMER", &entry.performer}, {"SONGWRITER", &entry.songwriter}};
    for (const auto& [name, text] : fields) {
        if (text->empty()) continue;
        std::string value = *text;
        for (char& c : value) {
            if (c == '\n' || c == '\r') c = ' ';
        }
        out += std::string(name) + " " + std::to_string(track) + "=" + value + "\n";
    }
}

}  // namespace

std::string TextToUtf8(std::string_view text) {
    bool valid = true;
    for (size_t i = 0; i < text.size() && valid;) {
        const size_t length = SequenceLength(text, i);
        valid = length > 0;
        i += length;
    }
    if (valid) return std::string(text);
    std::string utf8;
    for (char byte : text) {
        const auto c = static_cast<unsigned char>(byte);
        if (c < 0x80) {
            utf8 += byte;
        } else {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

std::string CdTextLines(const DiscToc& toc) {
    std::string out;
    AddLines(out, 0, toc.discText);
    for (size_t k = 0; k < toc.trackTexts.size() && k < toc.tracks.size(); ++k) AddLines(out, k + 1, toc.trackTexts[k]);
    return out;
}

}  // namespace akrip
