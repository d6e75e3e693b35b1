// Whatever the bytes, the converted text is valid UTF-8, and valid UTF-8
// passes through unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "vorbis_comment_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string converted = CommentTextToUtf8(text);
    if (!IsValidUtf8(converted)) std::abort();
    if (IsValidUtf8(text) && converted != text) std::abort();
    return 0;
}
