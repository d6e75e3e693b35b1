#include "util/utf8_text.h"

#include <cstdio>

namespace cadrix {

namespace {

// Characters that change how a terminal shows what follows, or show
// nothing at all: controls (C0, DEL, C1), the soft hyphen, the Arabic letter
// mark, zero-width spaces and joiners, direction marks, embeddings,
// overrides and isolates, word joiners and invisible operators, the byte
// order mark and the interlinear annotation marks.
bool IsHidden(char32_t code) {
    return code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0xAD || code == 0x61C || code == 0x180E ||
           (code >= 0x200B && code <= 0x200F) || (code >= 0x2028 && code <= 0x202E) ||
           (code >= 0x2060 && code <= 0x206F) || code == 0xFEFF || (code >= 0xFFF9 && code <= 0xFFFB);
}

}  // namespace

std::string TerminalText(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        char32_t code = 0;
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
