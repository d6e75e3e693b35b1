// Fuzzes the disc image parsers of akrip: the first byte picks the cue sheet
// parser, the cdrdao TOC parser or the WAVE chunk walker; parsed sheets are
// laid out against invented file sizes and read back through the TOC record,
// the CDDB id and the audio extents.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string_view>
#include <vector>

#include "cddb_id.h"
#include "cdrdao_toc.h"
#include "cue_sheet.h"
#include "disc_image.h"
#include "image_reader.h"
#include "toc_record.h"
#include "wave_file.h"

namespace {

void Exercise(const std::optional<akrip::ImagePlan>& plan) {
    if (!plan) return;
    // File sizes derived from the names, some of them not whole frames.
    auto image = akrip::LayoutDiscImage(*plan, [](const akrip::PlanFile& file) -> std::optional<akrip::ImageFile> {
        const size_t hash = std::hash<std::string>{}(file.name);
        if (hash % 11 == 0) return std::nullopt;
        akrip::ImageFile resolved;
        resolved.payloadOffset = hash % 64;
        resolved.payloadBytes = (hash % 5000) * (hash % 3 == 0 ? 2352 : 2048) + (hash % 7 == 0 ? hash % 2352 : 0);
        return resolved;
    });
    if (!image) return;
    TocBuffer record;
    akrip::FillTocRecord(image->toc, true, record);
    akrip::FillTocRecord(image->toc, false, record);
    uint32_t words[102];
    akrip::FillCddbWords(image->toc, words);
    static std::vector<uint8_t> buffer(27 * akrip::kAudioSectorBytes);
    for (const akrip::TocTrack& track : image->toc.tracks) {
        for (int64_t lsn : {int64_t{track.start}, int64_t{track.start} - 1, int64_t{image->toc.leadOut} - 3}) {
            const uint32_t frames = akrip::ReadableImageFrames(*image, lsn, 27);
            if (frames > 27) __builtin_trap();
            if (frames > 0) akrip::ReadImageAudio(*image, lsn, frames, buffer.data());  // no files: fails cleanly
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 3) {
        case 0: Exercise(akrip::ParseCueSheet(text)); break;
        case 1: Exercise(akrip::ParseCdrdaoToc(text)); break;
        default: {
            auto readAt = [&](uint64_t offset, std::span<uint8_t> out) {
                if (offset > text.size() || out.size() > text.size() - offset) return false;
                std::memcpy(out.data(), text.data() + offset, out.size());
                return true;
            };
            auto payload = akrip::FindWavePayload(readAt, text.size());
            if (payload && (payload->offset > text.size() || payload->bytes > text.size() - payload->offset)) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
