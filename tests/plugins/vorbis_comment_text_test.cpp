// Tag texts become the UTF-8 that Vorbis comments require (Ogg and FLAC).
#include <gtest/gtest.h>

#include "vorbis_comment_text.h"

TEST(VorbisCommentText, ValidUtf8IsKept) {
    for (const char* text :
         {"", "plain ASCII", "Caf\xC3\xA9", "\xE2\x99\xAA", "\xF0\x9F\x8E\xB5", "\xEF\xBF\xBF", "\xF4\x8F\xBF\xBF"}) {
        EXPECT_TRUE(IsValidUtf8(text)) << text;
        EXPECT_EQ(CommentTextToUtf8(text), text);
    }
}

TEST(VorbisCommentText, MalformedUtf8IsReadAsWindows1252) {
    // Overlong forms, surrogates, beyond U+10FFFF, cut sequences, stray
    // continuation bytes and bytes that never start a sequence.
    for (const char* text : {"\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xC3", "ab\xE2\x99",
                             "\x80", "\xF8\x88\x80\x80\x80", "\xFF"}) {
        EXPECT_FALSE(IsValidUtf8(text)) << text;
        EXPECT_TRUE(IsValidUtf8(CommentTextToUtf8(text))) << text;
    }
    EXPECT_EQ(CommentTextToUtf8("Bj\xF6rk"), "Bj\xC3\xB6rk");
    EXPECT_EQ(CommentTextToUtf8("\x80 \x85 \x99 \x9F"), "\xE2\x82\xAC \xE2\x80\xA6 \xE2\x84\xA2 \xC5\xB8");
    // The undefined bytes stay C1 controls, and ASCII stays as it is.
    EXPECT_EQ(CommentTextToUtf8("\x81\x8D\x8F\x90\x9D"), "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D");
    // One bad byte makes the whole text Windows-1252: "é" as two bytes, then 0xE9.
    EXPECT_EQ(CommentTextToUtf8("\xC3\xA9\xE9"), "\xC3\x83\xC2\xA9\xC3\xA9");
}
