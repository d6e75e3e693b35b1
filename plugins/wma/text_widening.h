// Widening of the host's 8-bit texts into the UTF-16 the writer takes. The
// host's texts are in the system's code page; on Linux that is UTF-8, and a
// text that is not valid UTF-8 is taken as Windows-1252. ASCII always keeps
// its value.
#ifndef CADRIX_WMA_TEXT_WIDENING_H
#define CADRIX_WMA_TEXT_WIDENING_H

#include <string>
#include <string_view>

// A tag text: UTF-8 when valid, otherwise Windows-1252.
std::u16string WidenText(std::string_view text);

// A file name: UTF-8 sequences are decoded, every byte that is not part of a
// valid sequence becomes U+DC80 + (byte - 0x80), so the writer can give the
// file system back the exact bytes of the name.
std::u16string WidenFileName(std::string_view name);

#endif
