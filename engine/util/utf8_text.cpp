#include "util/utf8_text.h"

#include <cstdio>

namespace cadrix {

namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Characters that change how a terminal shows what follows, or show
// nothing at all: controls (C0, DEL, C1), the soft hyphen, the Arabic letter
// mark, zero-width spaces and joiners, direction marks, embeddings,
// overrides and isolates, word joiners and invisible operators, the byte
// order mark and the interlinear annotation marks.
bool IsHidden(uint32_t code) {
    return code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0xAD || code == 0x61C || code == 0x180E ||
           (code >= 0x200B && code <= 0x200F) || (code >= 0x2028 && code <= 0x202E) ||
           (code >= 0x2060 && code <= 0x206F) || code == 0xFEFF || (code >= 0xFFF9 && code <= 0xFFFB);
}

}  // namespace

size_t Utf8Sequence(std::string_view text, size_t i, uint32_t& code) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > text.size() || byte(1) < low || byte(1) > high) return 0;
    code = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if (!IsContinuation(byte(k))) return 0;
        code = (code << 6) | (byte(k) & 0x3F);
    }
    return length;
}

std::string_view CutUtf8(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    // The first byte left out is a continuation byte: step back to the lead
    // byte of its character and leave that character out whole. Bytes that
    // are not UTF-8 are cut at the limit.
    size_t cut = maxBytes;
    size_t back = cut;
    while (back > 0 && cut - back < 3 && IsContinuation(static_cast<unsigned char>(text[back]))) --back;
    if (back < cut && static_cast<unsigned char>(text[back]) >= 0xC0) cut = back;
    return text.substr(0, cut);
}

std::string TerminalText(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        uint32_t code = 0;
        const size_t length = Utf8Sequence(text, i, code);
        char escape[16];
        if (length == 0) {
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(text[i]));
        } else if (IsHidden(code)) {
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(code));
        } else {
            shown.append(text.substr(i, length));
            i += length;
            continue;
        }
        shown += escape;
        i += length == 0 ? 1 : length;
    }
    return shown;
}

}  // namespace cadrix
