#include "vorbis_comment_text.h"

std::string CommentTextToUtf8(std::string_view text) {
    if (IsValidUtf8(text)) return std::string(text);
    return cadrix::text::Cp1252ToUtf8(text);
}
