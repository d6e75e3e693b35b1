// UTF-8 texts as the engine handles them: the shared codec (text_codec.h),
// and showing a text on a terminal without letting it steer the terminal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "text_codec.h"

namespace cadrix {

// Decoding one character and cutting on a character boundary, as everywhere
// in Cadrix.
using text::CutUtf8;
using text::Utf8Sequence;

// `text` for a terminal: control characters, bidirectional overrides and
// isolates, and zero-width and other invisible format characters written as
// "\u202E", bytes that are not UTF-8 as "\xFF"; everything else as it is.
std::string TerminalText(std::string_view text);

}  // namespace cadrix
