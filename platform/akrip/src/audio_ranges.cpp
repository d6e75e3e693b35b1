#include "audio_ranges.h"

#include <algorithm>

#include "image_plan.h"

namespace akrip {

std::vector<AudioRange> ReadableAudioRanges(const DiscToc& toc) {
    std::vector<AudioRange> ranges;
    // Audio before track 1's INDEX 01 (its pregap, beyond the lead-in's two
    // seconds) is track 0: hidden track one audio, or silence.
    if (!toc.tracks.empty() && toc.tracks[0].IsAudio() && toc.tracks[0].start > 0) {
        ranges.push_back({0, 0, toc.tracks[0].start});
    }
    for (size_t k = 0; k < toc.tracks.size(); ++k) {
        const TocTrack& track = toc.tracks[k];
        if (!track.IsAudio()) continue;
        int64_t end = toc.leadOut;
        if (k + 1 < toc.tracks.size()) {
            const TocTrack& next = toc.tracks[k + 1];
            end = next.start;
            if (next.session > track.session) {
                end = next.start - kSessionGapFrames;
            } else if (!next.IsAudio()) {
                end = std::min<int64_t>(next.PregapStart(), next.start - kDataPregapFrames);
            }
        }
        if (end > track.start) ranges.push_back({static_cast<int32_t>(k + 1), track.start, end});
    }
    return ranges;
}

std::optional<AudioRange> RangeHolding(const std::vector<AudioRange>& ranges, int64_t lsn) {
    auto range = std::find_if(ranges.begin(), ranges.end(), [lsn](const AudioRange& r) { return r.Holds(lsn); });
    if (range == ranges.end()) return std::nullopt;
    return *range;
}

int64_t ReadableRun(const std::vector<AudioRange>& ranges, int64_t lsn) {
    auto range = std::find_if(ranges.begin(), ranges.end(), [lsn](const AudioRange& r) { return r.Holds(lsn); });
    if (range == ranges.end()) return 0;
    int64_t end = range->end;
    for (++range; range != ranges.end() && range->begin == end; ++range) end = range->end;
    return end - lsn;
}

}  // namespace akrip
