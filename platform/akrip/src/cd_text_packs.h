// CD-Text as a drive returns it (READ TOC format 5): a 4-byte header, then
// 18-byte packs of up to 12 characters each. This reads the titles,
// performers and songwriters of the first block (the disc's first
// language), which is all Cadrix uses.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "disc_toc.h"

namespace akrip {

inline constexpr size_t kCdTextPackBytes = 18;
inline constexpr size_t kCdTextChars = 12;  // of text in a pack

// Pack types (byte 0 of a pack) that Cadrix reads or writes.
enum CdTextPack : uint8_t {
    kCdTextTitle = 0x80,
    kCdTextPerformer = 0x81,
    kCdTextSongwriter = 0x82,
    kCdTextSizeInfo = 0x8F,
};

// Character sets of a block, as its size information gives them.
enum CdTextCharset : uint8_t { kCdTextLatin1 = 0x00, kCdTextAscii = 0x01 };

struct CdTextBlock {
    CdTextEntry disc;
    std::vector<CdTextEntry> tracks;  // index t - 1 holds track t
};

// The texts of block 0 of a READ TOC format 5 reply (header included), as
// UTF-8. Empty when the reply holds no whole pack or no such text, or block
// 0 is in a character set other than ISO-8859-1 or ASCII.
CdTextBlock ParseCdTextReply(std::span<const uint8_t> reply);

}  // namespace akrip
