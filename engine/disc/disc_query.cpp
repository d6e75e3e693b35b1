#include "disc/disc_query.h"

namespace cadrix {

bool DiscQuery::IsData(int32_t track) const {
    return track >= 1 && track <= trackCount && (toc.entries[track - 1].adrControl & AKRIP_TOC_CONTROL_DATA) != 0;
}

uint32_t DiscQuery::Start(int32_t track) const {
    return track >= 1 && track <= trackCount + 1 ? TocAddress(toc.entries[track - 1]) : 0;
}

int32_t DiscQuery::AudioTrackCount() const {
    int32_t count = 0;
    for (int32_t t = 1; t <= trackCount; ++t) count += IsData(t) ? 0 : 1;
    return count;
}

DiscQuery MakeDiscQuery(const DriveRecord& record) {
    DiscQuery query;
    if (record.trackCount < 1 || record.trackCount >= TRACK_SLOTS || !IsTocUsable(record.toc)) return query;
    query.discId = record.discId;
    query.toc = record.toc;
    query.trackCount = record.trackCount;
    return query;
}

int32_t DiscQuery::FirstAudioTrack() const {
    for (int32_t t = 1; t <= trackCount; ++t) {
        if (!IsData(t)) return t;
    }
    return 0;
}

int32_t DiscQuery::LastAudioTrack() const {
    for (int32_t t = trackCount; t >= 1; --t) {
        if (!IsData(t)) return t;
    }
    return 0;
}

uint32_t DiscQuery::AudioEnd() const {
    const int32_t last = LastAudioTrack();
    if (last == 0) return 0;
    const uint32_t end = Start(last + 1);
    // A single-session disc has no session gap before its data track.
    if (last < trackCount && end > Start(last) + cd::kSessionGapFrames) return end - cd::kSessionGapFrames;
    return end;
}

}  // namespace cadrix
