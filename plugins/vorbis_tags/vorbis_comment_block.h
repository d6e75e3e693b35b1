// The body of a Vorbis comment header as FLAC's VORBIS_COMMENT block and the
// Vorbis comment packet (after its 7-byte "\x03vorbis" and before its framing
// bit) both hold it: a vendor string and "NAME=value" entries, each behind a
// 32-bit little-endian length.
#ifndef CADRIX_VORBIS_COMMENT_BLOCK_H
#define CADRIX_VORBIS_COMMENT_BLOCK_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct VorbisCommentBlock {
    std::string vendor;
    std::vector<std::string> entries;  // "NAME=value"

    // Replaces every entry named `name` (compared without regard to ASCII
    // case) by one with `value`, or adds it at the end.
    void Set(std::string_view name, std::string_view value);
    std::vector<uint8_t> Bytes() const;
};

// The block at the start of `bytes`; none when a length runs past the end.
// `used` gets the bytes it took.
std::optional<VorbisCommentBlock> ParseVorbisCommentBlock(std::span<const uint8_t> bytes, size_t* used = nullptr);

#endif
