// Tag texts for Vorbis comments, which are UTF-8. The host's 8-bit texts are
// in the system's code page: on Linux that is UTF-8, and a text that is not
// valid UTF-8 is taken as Windows-1252 (the code page the disc database files
// of the suite were written in).
#ifndef CADRIX_VORBIS_COMMENT_TEXT_H
#define CADRIX_VORBIS_COMMENT_TEXT_H

#include <string>
#include <string_view>

#include "text_codec.h"

// True when `text` is well-formed UTF-8: shortest forms only, no surrogates,
// nothing above U+10FFFF.
using cadrix::text::IsValidUtf8;

// `text` unchanged when it is valid UTF-8, otherwise every byte read as
// Windows-1252 and written as UTF-8. The five bytes that code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the C1 controls of the same
// value, as Windows converts them.
std::string CommentTextToUtf8(std::string_view text);

#endif
