// Text as every part of Cadrix reads and writes it (the engine, akrip.so, the
// plug-ins, the dialog, the fuzz targets): strict UTF-8, a cut on a character
// boundary, and the 8-bit code pages the suite's files and CD-Text use.
// Header-only, no allocation beyond the strings returned.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace cadrix::text {

// The length of the valid UTF-8 sequence at text[i] (overlong forms,
// surrogates and code points above U+10FFFF are not valid), or 0; its code
// point in `code`. `i` is below text.size().
inline size_t Utf8Sequence(std::string_view text, size_t i, char32_t& code) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    size_t length = 0;
    unsigned char low = 0x80;   // the second byte's range excludes overlong forms,
    unsigned char high = 0xBF;  // surrogates and values above U+10FFFF
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
    char32_t value = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if ((byte(k) & 0xC0) != 0x80) return 0;
        value = (value << 6) | (byte(k) & 0x3F);
    }
    code = value;
    return length;
}

inline bool IsValidUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        char32_t code = 0;
        const size_t length = Utf8Sequence(text, i, code);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

// `text` cut to at most `maxBytes` bytes without splitting a UTF-8
// character: a character the limit would split is left out whole. A text
// that is not UTF-8 there is cut at the byte limit.
inline std::string_view CutUtf8(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    const auto at = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    size_t back = maxBytes;
    while (back > 0 && maxBytes - back < 3 && (at(back) & 0xC0) == 0x80) --back;
    return text.substr(0, back < maxBytes && at(back) >= 0xC0 ? back : maxBytes);
}

// The code point of a Windows-1252 byte. The five bytes the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) are the C1 controls of the same
// value, as Windows converts them.
inline char32_t FromCp1252(unsigned char byte) {
    static constexpr char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                           0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    return byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte;
}

// Appends `code` (at most U+10FFFF, no surrogate) as UTF-8.
inline void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
        return;
    }
    const int length = code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
    static constexpr unsigned char kLead[5] = {0, 0, 0xC0, 0xE0, 0xF0};
    out += static_cast<char>(kLead[length] | (code >> (6 * (length - 1))));
    for (int k = length - 2; k >= 0; --k) out += static_cast<char>(0x80 | ((code >> (6 * k)) & 0x3F));
}

// Appends `code` as UTF-16: one unit, or a surrogate pair above U+FFFF.
inline void AppendUtf16(std::u16string& out, char32_t code) {
    if (code < 0x10000) {
        out += static_cast<char16_t>(code);
        return;
    }
    code -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (code >> 10));
    out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
}

// Every byte of `text` read as Windows-1252, written as UTF-8.
inline std::string Cp1252ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (const char c : text) AppendUtf8(out, FromCp1252(static_cast<unsigned char>(c)));
    return out;
}

// Every byte of `text` read as ISO 8859-1 (CD-Text's character code 0x00),
// written as UTF-8.
inline std::string Latin1ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (const char c : text) AppendUtf8(out, static_cast<unsigned char>(c));
    return out;
}

}  // namespace cadrix::text
