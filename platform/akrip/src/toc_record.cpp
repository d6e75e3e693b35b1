#include "toc_record.h"

#include <cstring>

#include "image_plan.h"

namespace akrip {
namespace {

uint32_t Address(int32_t lsn, bool msf) {
    if (!msf) return static_cast<uint32_t>(lsn);
    const auto frames = static_cast<uint32_t>(lsn + kMsfOffsetFrames);
    return ((frames / kFramesPerMinute) << 16) | (((frames / kFramesPerSecond) % 60) << 8) |
           (frames % kFramesPerSecond);
}

}  // namespace

void FillTocRecord(const DiscToc& toc, bool msf, TocBuffer& record) {
    std::memset(&record, 0, sizeof record);
    const size_t count = toc.tracks.size();
    if (count == 0 || count >= AKRIP_TOC_ENTRIES) return;
    const auto length = static_cast<uint16_t>(2 + 8 * (count + 1));
    record.length[0] = static_cast<uint8_t>(length >> 8);
    record.length[1] = static_cast<uint8_t>(length);
    record.firstTrack = 1;
    record.lastTrack = static_cast<uint8_t>(count);
    for (size_t k = 0; k <= count; ++k) {
        TocEntry& entry = record.entries[k];
        const bool leadOut = k == count;
        const uint8_t control = leadOut ? toc.tracks.back().control & 0x04 : toc.tracks[k].control;
        entry.adrControl = static_cast<uint8_t>(0x10 | (control & 0x0F));
        entry.trackNumber = leadOut ? static_cast<uint8_t>(AKRIP_LEADOUT_TRACK) : static_cast<uint8_t>(k + 1);
        SetTocAddress(entry, Address(leadOut ? toc.leadOut : toc.tracks[k].start, msf));
    }
}

}  // namespace akrip
