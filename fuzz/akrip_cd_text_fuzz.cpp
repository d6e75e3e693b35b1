// Feeds arbitrary bytes as a drive's CD-Text reply: the reader keeps within
// the reply, names only tracks 0-99, and hands out UTF-8 of bounded size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "cd_text_packs.h"
#include "text_codec.h"

namespace {

void Check(const akrip::CdTextEntry& entry) {
    for (const std::string* text : {&entry.title, &entry.performer, &entry.songwriter}) {
        if (text->size() > 1024 || !cadrix::text::IsValidUtf8(*text)) std::abort();
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
