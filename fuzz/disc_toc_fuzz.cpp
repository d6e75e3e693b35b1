// Treats arbitrary bytes as the TOC a drive returned: a usable one must give
// a consistent record and track list, a damaged one must be refused.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "disc/disc_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace cadrix;
    DriveRecord record;
    std::memcpy(&record.toc, data, size < sizeof record.toc ? size : sizeof record.toc);
    if (!IsTocUsable(record.toc)) return 0;
    ApplyToc(record);
    if (record.trackCount < 1 || record.trackCount > 99) std::abort();
    int audio = 0;
    for (int t = 1; t <= record.trackCount; ++t) {
        const TrackRecord& slot = record.tracks[static_cast<size_t>(t)];
        if (slot.selected + slot.isData != 1) std::abort();
        audio += slot.selected;
    }
    const TrackListing listing = FillTrackList(record);
    if (listing.rows.size() != static_cast<size_t>(audio)) std::abort();
    for (const TrackRow& row : listing.rows) {
        if (row.duration.empty() || !row.checked) std::abort();
    }
    return 0;
}
