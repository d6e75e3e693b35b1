// Feeds arbitrary bytes as a drive's CD-Text reply: the reader keeps within
// the reply, names only tracks 0-99, and hands out UTF-8 of bounded size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "cd_text_packs.h"

namespace {

bool ValidUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const size_t length = c < 0x80 ? 1 : (c >= 0xC2 && c < 0xE0) ? 2 : (c >= 0xE0 && c < 0xF0) ? 3 : 4;
        if (c >= 0xF5 || (c >= 0x80 && c < 0xC2) || i + length > text.size()) return false;
        i += length;
    }
    return true;
}

void Check(const akrip::CdTextEntry& entry) {
    for (const std::string* text : {&entry.title, &entry.performer, &entry.songwriter}) {
        if (text->size() > 1024 || !ValidUtf8(*text)) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const akrip::CdTextBlock block = akrip::ParseCdTextReply(std::span<const uint8_t>(data, size));
    if (block.tracks.size() > 99) std::abort();
    Check(block.disc);
    for (const auto& track : block.tracks) Check(track);
    return 0;
}
