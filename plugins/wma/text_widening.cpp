#include "text_widening.h"

#include <cstdint>

#include "text_codec.h"

using cadrix::text::AppendUtf16;
using cadrix::text::Utf8Sequence;

std::u16string WidenText(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    if (!cadrix::text::IsValidUtf8(text)) {
        for (char ch : text) out += static_cast<char16_t>(cadrix::text::FromCp1252(static_cast<uint8_t>(ch)));
        return out;
    }
    for (size_t i = 0; i < text.size();) {
        char32_t c = 0;
        i += Utf8Sequence(text, i, c);
        AppendUtf16(out, c);
    }
    return out;
}

std::u16string WidenFileName(std::string_view name) {
    std::u16string out;
    out.reserve(name.size());
    for (size_t i = 0; i < name.size();) {
        char32_t c = 0;
        const size_t length = Utf8Sequence(name, i, c);
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
