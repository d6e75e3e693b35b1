#include "text_widening.h"

#include <cstdint>

namespace {

// Windows-1252 0x80..0x9F; the five unassigned bytes keep their own value.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Decodes one UTF-8 sequence at text[i]; returns its length, 0 when invalid.
size_t DecodeUtf8(std::string_view text, size_t i, char32_t& out) {
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
    const uint8_t lead = byte(i);
    size_t length;
    char32_t c;
    if (lead < 0x80) {
        out = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and values beyond U+10FFFF are not UTF-8.
    if ((length == 3 && c < 0x800) || (length == 4 && (c < 0x10000 || c > 0x10FFFF)) ||
        (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    out = c;
    return length;
}

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
}

}  // namespace

std::u16string WidenText(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        char32_t c;
        const size_t length = DecodeUtf8(text, i, c);
        if (length == 0) {
            // Not UTF-8: the whole text is Windows-1252.
            out.clear();
            for (char ch : text) {
                const auto b = static_cast<uint8_t>(ch);
                out += b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : static_cast<char16_t>(b);
            }
            return out;
        }
        AppendUtf16(out, c);
        i += length;
    }
    return out;
}

std::u16string WidenFileName(std::string_view name) {
    std::u16string out;
    out.reserve(name.size());
    for (size_t i = 0; i < name.size();) {
        char32_t c;
        const size_t length = DecodeUtf8(name, i, c);
        if (length == 0) {
            out += static_cast<char16_t>(0xDC00 + static_cast<uint8_t>(name[i]));
            ++i;
        } else {
            AppendUtf16(out, c);
            i += length;
        }
    }
    return out;
}
