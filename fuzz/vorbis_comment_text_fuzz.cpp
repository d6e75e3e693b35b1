// Whatever the bytes, the converted text is valid UTF-8, and valid UTF-8
// passes through unchanged. The same bytes cut at NULs into a track's texts
// give only non-empty UTF-8 comment values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "vorbis_comment_text.h"
#include "vorbis_track_tags.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string converted = CommentTextToUtf8(text);
    if (!IsValidUtf8(converted)) std::abort();
    if (IsValidUtf8(text) && converted != text) std::abort();

    const std::string texts(text);  // its NULs end the texts below
    const char* parts[8] = {};
    size_t at = 0;
    for (const char*& part : parts) {
        if (at >= texts.size()) break;
        part = texts.c_str() + at;
        at += std::string_view(part).size() + 1;
    }
    const OutputTrackInfo info{size > 0 ? data[0] : 0, parts[0], parts[1], parts[2],
                               parts[3], parts[4], parts[5], parts[6]};
    const OutputTrackExtras extras{sizeof(OutputTrackExtras), size > 1 ? data[1] : 0, size > 2 ? data[2] : 0, 1,
                                   parts[7] ? parts[7] : ""};
    for (const VorbisTag& tag : VorbisTrackTags(&info, extras)) {
        if (tag.value.empty() || !IsValidUtf8(tag.value)) std::abort();
    }
    return 0;
}
