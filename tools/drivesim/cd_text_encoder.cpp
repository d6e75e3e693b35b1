#include "cd_text_encoder.h"

#include "cd_text_packs.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

namespace drivesim {
namespace {

constexpr uint8_t kLanguageEnglish = 0x09;
constexpr size_t kMaxPacksInBlock = 253;  // the three size packs fit besides

// UTF-8 as ISO-8859-1; characters beyond it become '?'.
std::string ToLatin1(std::string_view utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        uint32_t code = length == 1 ? c : c & (0x3F >> (length - 1));
        for (size_t k = 1; k < length && i + k < utf8.size(); ++k) {
            code = code << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        }
        out += code <= 0xFF ? static_cast<char>(code) : '?';
        i += length;
    }
    return out;
}

// CRC-16 with the polynomial x^16 + x^12 + x^5 + 1 over the pack's first 16
// bytes, stored inverted.
void PutCrc(uint8_t* pack) {
    uint16_t crc = 0;
    for (size_t i = 0; i < 16; ++i) {
        crc ^= static_cast<uint16_t>(pack[i] << 8);
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) ? static_cast<uint16_t>(crc << 1 ^ 0x1021) : crc << 1;
    }
    crc = static_cast<uint16_t>(~crc);
    pack[16] = static_cast<uint8_t>(crc >> 8);
    pack[17] = static_cast<uint8_t>(crc);
}

class PackWriter {
public:
    void Add(uint8_t type, uint8_t track, uint8_t charPosition, const uint8_t* text) {
        std::array<uint8_t, akrip::kCdTextPackBytes> pack{};
        pack[0] = type;
        pack[1] = track;
        pack[2] = static_cast<uint8_t>(count_);
        pack[3] = std::min<uint8_t>(charPosition, 15);  // block 0, single-byte characters
        std::copy(text, text + akrip::kCdTextChars, pack.begin() + 4);
        PutCrc(pack.data());
        packs_.insert(packs_.end(), pack.begin(), pack.end());
        ++count_;
        ++perType_[type - akrip::kCdTextTitle];
    }
    // One kind of text: the disc's and every track's strings, each ended by a
    // NUL, cut into packs that name the track of their first character.
    void AddTexts(uint8_t type, const std::vector<std::string>& strings) {
        std::string stream;
        std::vector<size_t> starts;
        for (const std::string& s : strings) {
            starts.push_back(stream.size());
            stream += s;
            stream += '\0';
        }
        for (size_t at = 0; at < stream.size() && count_ < kMaxPacksInBlock; at += akrip::kCdTextChars) {
            const size_t track = static_cast<size_t>(std::upper_bound(starts.begin(), starts.end(), at) -
                                                     starts.begin()) -
                                 1;
            uint8_t text[akrip::kCdTextChars] = {};
            std::copy_n(stream.begin() + static_cast<std::ptrdiff_t>(at),
                        std::min(akrip::kCdTextChars, stream.size() - at), text);
            Add(type, static_cast<uint8_t>(track), static_cast<uint8_t>(std::min<size_t>(at - starts[track], 15)),
                text);
        }
    }
    void AddSizeInfo(uint8_t lastTrack) {
        perType_[akrip::kCdTextSizeInfo - akrip::kCdTextTitle] = 3;
        const auto lastSequence = static_cast<uint8_t>(count_ + 2);
        uint8_t info[3][akrip::kCdTextChars] = {};
        info[0][0] = akrip::kCdTextLatin1;
        info[0][1] = 1;
        info[0][2] = lastTrack;
        for (size_t k = 0; k < 8; ++k) info[0][4 + k] = perType_[k];
        for (size_t k = 0; k < 8; ++k) info[1][k] = perType_[8 + k];
        info[1][8] = lastSequence;  // block 0; blocks 1-7 hold nothing
        info[2][4] = kLanguageEnglish;
        for (uint8_t k = 0; k < 3; ++k) Add(akrip::kCdTextSizeInfo, k, 0, info[k]);
    }
    std::vector<uint8_t> Take() { return std::move(packs_); }

private:
    std::vector<uint8_t> packs_;
    size_t count_ = 0;
    std::array<uint8_t, 16> perType_{};
};

}  // namespace

std::vector<uint8_t> EncodeCdTextPacks(const akrip::DiscToc& toc) {
    if (!toc.HasCdText() || toc.tracks.empty()) return {};
    PackWriter writer;
    using Member = std::string akrip::CdTextEntry::*;
    const Member fields[] = {&akrip::CdTextEntry::title, &akrip::CdTextEntry::performer,
                             &akrip::CdTextEntry::songwriter};
    for (size_t k = 0; k < 3; ++k) {
        std::vector<std::string> strings{ToLatin1(toc.discText.*fields[k])};
        bool any = !strings.front().empty();
        for (size_t t = 0; t < toc.tracks.size(); ++t) {
            strings.push_back(t < toc.trackTexts.size() ? ToLatin1(toc.trackTexts[t].*fields[k]) : std::string());
            any = any || !strings.back().empty();
        }
        if (any) writer.AddTexts(static_cast<uint8_t>(akrip::kCdTextTitle + k), strings);
    }
    writer.AddSizeInfo(static_cast<uint8_t>(toc.tracks.size()));
    return writer.Take();
}

}  // namespace drivesim
