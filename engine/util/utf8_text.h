// UTF-8 texts as Cadrix handles them: decoding one character, cutting on a
// character boundary, and showing a text on a terminal without letting it
// steer the terminal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace cadrix {

// The length of the valid UTF-8 sequence at text[i] (overlong forms,
// surrogates and code points above U+10FFFF are not valid), or 0; its code
// point in `code`.
size_t Utf8Sequence(std::string_view text, size_t i, uint32_t& code);

// `text` cut to at most `maxBytes` bytes without splitting a UTF-8
// character (a text that is not UTF-8 is cut at the byte limit).
std::string_view CutUtf8(std::string_view text, size_t maxBytes);

// `text` for a terminal: control characters, bidirectional overrides and
// isolates, and zero-width and other invisible format characters written as
// "\u202E", bytes that are not UTF-8 as "\xFF"; everything else as it is.
std::string TerminalText(std::string_view text);

}  // namespace cadrix
