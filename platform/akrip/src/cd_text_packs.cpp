#include "cd_text_packs.h"

#include <algorithm>
#include <array>
#include <string>

#include "cd_text.h"

namespace akrip {
namespace {

constexpr int kMaxTrack = 99;

struct Pack {
    uint8_t type;
    uint8_t track;
    uint8_t block;
    bool doubleByte;
    std::span<const uint8_t> text;  // 12 bytes
};

Pack ReadPack(std::span<const uint8_t> bytes) {
    return {bytes[0], static_cast<uint8_t>(bytes[1] & 0x7F), static_cast<uint8_t>((bytes[3] >> 4) & 0x07),
            (bytes[3] & 0x80) != 0, bytes.subspan(4, kCdTextChars)};
}

std::string* Field(CdTextBlock& block, uint8_t type, int track) {
    if (track < 0 || track > kMaxTrack) return nullptr;
    CdTextEntry* entry = &block.disc;
    if (track > 0) {
        if (block.tracks.size() < static_cast<size_t>(track)) block.tracks.resize(static_cast<size_t>(track));
        entry = &block.tracks[static_cast<size_t>(track) - 1];
    }
    return type == kCdTextTitle ? &entry->title : type == kCdTextTitle + 1 ? &entry->performer : &entry->songwriter;
}

// One kind of text (titles, performers or songwriters) read pack by pack:
// the strings of the disc and its tracks follow each other, each ended by
// a NUL; a pack names the track its first character belongs to.
class TextRun {
public:
    void Add(CdTextBlock& block, const Pack& pack) {
        if (text_.empty() && !started_) track_ = pack.track;
        started_ = true;
        for (uint8_t c : pack.text) {
            if (c != 0) {
                if (text_.size() < 512) text_ += static_cast<char>(c);
                continue;
            }
            // A lone TAB stands for "the same as the previous track".
            if (text_ == "\t") text_ = previous_;
            if (std::string* field = Field(block, type_, track_); field != nullptr) *field = TextToUtf8(text_);
            previous_ = text_;
            text_.clear();
            ++track_;
        }
    }
    void SetType(uint8_t type) { type_ = type; }

private:
    uint8_t type_ = kCdTextTitle;
    int track_ = 0;
    bool started_ = false;
    std::string text_;
    std::string previous_;
};

// The size information of block 0: its character set (0xFF when absent).
uint8_t Block0Charset(std::span<const uint8_t> packs) {
    for (size_t at = 0; at + kCdTextPackBytes <= packs.size(); at += kCdTextPackBytes) {
        const Pack pack = ReadPack(packs.subspan(at, kCdTextPackBytes));
        if (pack.type == kCdTextSizeInfo && pack.block == 0 && pack.track == 0) return pack.text[0];
    }
    return 0xFF;
}

}  // namespace

CdTextBlock ParseCdTextReply(std::span<const uint8_t> reply) {
    CdTextBlock block;
    if (reply.size() < 4) return block;
    // The header counts the bytes after its first two; only whole packs that
    // the reply really holds are read.
    const size_t length = std::min(size_t{reply[0]} << 8 | reply[1], reply.size() - 2);
    if (length < 2 + kCdTextPackBytes) return block;
    const std::span<const uint8_t> packs = reply.subspan(4, (length - 2) / kCdTextPackBytes * kCdTextPackBytes);
    const uint8_t charset = Block0Charset(packs);
    // Without size information the text is taken as ISO-8859-1, as most is.
    if (charset != kCdTextLatin1 && charset != kCdTextAscii && charset != 0xFF) return block;
    std::array<TextRun, 3> runs;
    for (uint8_t k = 0; k < runs.size(); ++k) runs[k].SetType(static_cast<uint8_t>(kCdTextTitle + k));
    for (size_t at = 0; at < packs.size(); at += kCdTextPackBytes) {
        const Pack pack = ReadPack(packs.subspan(at, kCdTextPackBytes));
        if (pack.block != 0 || pack.doubleByte || pack.type < kCdTextTitle || pack.type > kCdTextSongwriter) continue;
        runs[pack.type - kCdTextTitle].Add(block, pack);
    }
    return block;
}

}  // namespace akrip
