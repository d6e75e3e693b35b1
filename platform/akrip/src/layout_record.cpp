#include "layout_record.h"

#include <algorithm>
#include <cstring>

namespace akrip {

void FillLayoutRecord(const DiscLayout& layout, AkripDiscLayout& record) {
    const DiscToc& toc = layout.toc;
    record.source = layout.source == LayoutSource::Sheet        ? AKRIP_LAYOUT_SHEET
                    : layout.source == LayoutSource::SubChannel ? AKRIP_LAYOUT_SUBCHANNEL
                                                                : AKRIP_LAYOUT_TOC;
    record.leadOut = toc.leadOut;
    if (toc.mcn.size() == 13) std::memcpy(record.mcn, toc.mcn.data(), 13);
    const size_t count = std::min<size_t>(toc.tracks.size(), 99);
    record.trackCount = static_cast<int32_t>(count);
    for (size_t k = 0; k < count; ++k) {
        const TocTrack& track = toc.tracks[k];
        AkripTrackLayout& out = record.tracks[k];
        out.index1 = track.start;
        out.index0 = track.PregapStart();
        out.control = track.control;
        if (track.isrc.size() == 12) std::memcpy(out.isrc, track.isrc.data(), 12);
        for (const TocIndex& index : track.indexes) {
            if (out.indexCount == AKRIP_LAYOUT_MAX_INDEXES || index.number != out.indexCount + 2) break;
            out.indexes[out.indexCount++] = index.lsn;
        }
    }
}

}  // namespace akrip
