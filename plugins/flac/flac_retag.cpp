#include "flac_retag.h"

#include <cstdint>
#include <span>

#include "file_replace.h"
#include "vorbis_comment_block.h"

namespace {

constexpr uint8_t kPadding = 1;
constexpr uint8_t kSeekTable = 3;
constexpr uint8_t kVorbisComment = 4;
constexpr size_t kMaxBlockBytes = (1u << 24) - 1;

struct Block {
    uint8_t type;
    std::vector<uint8_t> body;
};

}  // namespace

bool RetagFlacFile(const std::string& path, const std::vector<cadrix::plugin::Tag>& tags, std::string& error) {
    std::vector<uint8_t> file;
    if (!cadrix::plugin::ReadWholeFile(path, file, error)) return false;
    std::vector<uint8_t> head;
    size_t audioStart = 0;
    if (!RetagFlacBytes(file, tags, head, audioStart, error)) {
        error = "'" + path + "': " + error;
        return false;
    }
    return cadrix::plugin::ReplaceWholeFile(
        path, {std::span<const uint8_t>(head), std::span<const uint8_t>(file).subspan(audioStart)}, error);
}

namespace {

// The metadata blocks after "fLaC", STREAMINFO first; `audioStart` gets
// where the frames begin. False (with the reason) when they cannot be read.
bool ReadBlocks(std::span<const uint8_t> file, std::vector<Block>& blocks, size_t& audioStart, std::string& error) {
    if (file.size() < 4 || file[0] != 'f' || file[1] != 'L' || file[2] != 'a' || file[3] != 'C') {
        error = "no FLAC file";
        return false;
    }
    size_t at = 4;
    for (bool last = false; !last;) {
        if (file.size() - at < 4) {
            error = "the metadata is cut short";
            return false;
        }
        last = (file[at] & 0x80) != 0;
        const uint8_t type = file[at] & 0x7F;
        const size_t length = size_t{file[at + 1]} << 16 | size_t{file[at + 2]} << 8 | file[at + 3];
        at += 4;
        if (file.size() - at < length || type == 127) {
            error = "the metadata is cut short";
            return false;
        }
        blocks.push_back({type, std::vector<uint8_t>(file.begin() + static_cast<ptrdiff_t>(at),
                                                     file.begin() + static_cast<ptrdiff_t>(at + length))});
        at += length;
    }
    audioStart = at;
    if (blocks.front().type != 0) {
        error = "the file does not start with STREAMINFO";
        return false;
    }
    return true;
}

// "fLaC" and the blocks, the last one marked; a padding block first gives or
// takes what the blocks grew by, so the audio stays where it was.
std::vector<uint8_t> WriteBlocks(std::vector<Block>& blocks, size_t audioStart) {
    size_t metadata = 4;
    for (const Block& block : blocks) metadata += 4 + block.body.size();
    const ptrdiff_t growth = static_cast<ptrdiff_t>(metadata) - static_cast<ptrdiff_t>(audioStart);
    for (Block& block : blocks) {
        if (block.type != kPadding) continue;
        // Padding is zeros; too small to take the growth, it keeps its size.
        const ptrdiff_t wanted = static_cast<ptrdiff_t>(block.body.size()) - growth;
        block.body.assign(wanted >= 0 ? static_cast<size_t>(wanted) : block.body.size(), 0);
        break;
    }
    std::vector<uint8_t> head{'f', 'L', 'a', 'C'};
    for (size_t i = 0; i < blocks.size(); ++i) {
        const size_t length = blocks[i].body.size();
        head.push_back(static_cast<uint8_t>(blocks[i].type | (i + 1 == blocks.size() ? 0x80 : 0)));
        head.push_back(static_cast<uint8_t>(length >> 16));
        head.push_back(static_cast<uint8_t>(length >> 8));
        head.push_back(static_cast<uint8_t>(length));
        head.insert(head.end(), blocks[i].body.begin(), blocks[i].body.end());
    }
    return head;
}

}  // namespace

bool RetagFlacBytes(std::span<const uint8_t> file, const std::vector<cadrix::plugin::Tag>& tags,
                    std::vector<uint8_t>& head, size_t& audioStart, std::string& error) {
    std::vector<Block> blocks;
    if (!ReadBlocks(file, blocks, audioStart, error)) return false;
    // The comments, after STREAMINFO and any seek table when they are new.
    size_t comment = blocks.size();
    for (size_t i = 0; i < blocks.size(); ++i) {
        if (blocks[i].type == kVorbisComment) comment = i;
    }
    VorbisCommentBlock comments{"Cadrix", {}};
    if (comment == blocks.size()) {
        comment = 1;
        while (comment < blocks.size() && blocks[comment].type == kSeekTable) ++comment;
        blocks.insert(blocks.begin() + static_cast<ptrdiff_t>(comment), Block{kVorbisComment, {}});
    } else if (auto parsed = ParseVorbisCommentBlock(blocks[comment].body)) {
        comments = std::move(*parsed);
    } else {
        error = "the comments cannot be read";
        return false;
    }
    for (const auto& tag : tags) comments.Set(tag.name, tag.value);
    blocks[comment].body = comments.Bytes();
    if (blocks[comment].body.size() > kMaxBlockBytes) {
        error = "the comments would not fit a metadata block";
        return false;
    }
    head = WriteBlocks(blocks, audioStart);
    return true;
}
