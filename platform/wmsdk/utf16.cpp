#include "utf16.h"

namespace wmsdk {
namespace {

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::optional<std::string> Convert(std::u16string_view text, bool rawByteEscapes) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return std::nullopt;
            const char32_t c = 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
            AppendUtf8(out, c);
            ++i;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            if (!rawByteEscapes || u < 0xDC80 || u > 0xDCFF) return std::nullopt;
            out += static_cast<char>(u - 0xDC00);
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

}  // namespace

std::optional<size_t> BoundedLength(const char16_t* text, size_t maxUnits) {
    for (size_t n = 0; n < maxUnits; ++n)
        if (text[n] == 0) return n;
    return std::nullopt;
}

std::optional<std::string> Utf16ToUtf8(std::u16string_view text) { return Convert(text, false); }

std::optional<std::string> Utf16ToFileName(std::u16string_view text) { return Convert(text, true); }

}  // namespace wmsdk
