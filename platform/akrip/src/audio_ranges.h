// Where each audio track's audio lies on the disc, as a drive can read it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "cd_geometry.h"
#include "disc_toc.h"

namespace akrip {

// Every data track that follows audio has a pregap of at least two seconds,
// written in the data track's mode: it is not audio.
inline constexpr int32_t kDataPregapFrames = cadrix::cd::kLeadInFrames;

// Audio range [begin, end) of one audio track.
struct AudioRange {
    int32_t track = 0;  // track number; 0: the audio before track 1's INDEX 01
    int64_t begin = 0;
    int64_t end = 0;
    bool Holds(int64_t lsn) const { return lsn >= begin && lsn < end; }
};

// The audio tracks' ranges, in order: first the audio before track 1's
// INDEX 01 as track 0 when there is any (an audio track 1 starting past LSN
// 0); then a track runs to the next track's start
// (its pregap belongs to the track before it), except that the audio before a
// track of a later session ends where the gap between the sessions begins,
// and the audio before a data track of the same session ends where that
// track's pregap begins (the pregap the TOC gives, never less than two
// seconds).
std::vector<AudioRange> ReadableAudioRanges(const DiscToc& toc);

// How many sectors from `lsn` on are readable audio without a break (ranges
// that follow each other count as one); 0 when `lsn` is not.
int64_t ReadableRun(const std::vector<AudioRange>& ranges, int64_t lsn);

// The range holding `lsn`, if any.
std::optional<AudioRange> RangeHolding(const std::vector<AudioRange>& ranges, int64_t lsn);

}  // namespace akrip
