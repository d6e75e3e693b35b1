// UTF-16 texts of the writer interface turned into the UTF-8 used on disk.
#ifndef CADRIX_WMSDK_UTF16_H
#define CADRIX_WMSDK_UTF16_H

#include <optional>
#include <string>
#include <string_view>

namespace wmsdk {

// Length of a NUL-terminated UTF-16 text, or nullopt when no NUL comes within maxUnits.
std::optional<size_t> BoundedLength(const char16_t* text, size_t maxUnits);

// Strict conversion; nullopt for an unpaired surrogate.
std::optional<std::string> Utf16ToUtf8(std::u16string_view text);

// A file name: like Utf16ToUtf8, except that the unpaired low surrogates
// U+DC80..U+DCFF stand for the raw bytes 0x80..0xFF of a name that was not
// valid UTF-8, so any byte string survives the trip through UTF-16.
std::optional<std::string> Utf16ToFileName(std::u16string_view text);

}  // namespace wmsdk

#endif
