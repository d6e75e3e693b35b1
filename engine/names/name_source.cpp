#include "names/name_source.h"

#include <algorithm>
#include <utility>

namespace cadrix {

namespace {

// Larger than any reply describing one disc; a bigger one is refused unread.
constexpr size_t kMaxReplyBytes = size_t{2} << 20;

}  // namespace

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
    if (last < trackCount && end > Start(last) + SESSION_GAP_FRAMES) return end - SESSION_GAP_FRAMES;
    return end;
}

HttpResponse GetBeforeDeadline(HttpRequest request, std::chrono::steady_clock::time_point deadline,
                               std::chrono::milliseconds timeout) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
        HttpResponse late;
        late.outcome = HttpOutcome::TimedOut;
        late.error = "no time left of the time-out of " + FormatSeconds(timeout);
        return late;
    }
    request.timeout = left;
    HttpResponse response = HttpGet(request);
    // The time-out of the lookup as a whole, not of what was left of it.
    if (response.outcome == HttpOutcome::TimedOut) {
        response.error = "no complete reply within the time-out of " + FormatSeconds(timeout);
    }
    return response;
}

HttpResponse LookupContext::Get(const std::string& url, std::chrono::milliseconds minInterval) const {
    HttpRequest request;
    request.url = url;
    request.userAgent = userAgent;
    request.maxBytes = kMaxReplyBytes;
    request.minInterval = minInterval;
    request.cancel = cancel;
    return GetBeforeDeadline(std::move(request), deadline, timeout);
}

std::string DescribeFailure(const HttpResponse& response) {
    if (response.outcome == HttpOutcome::Ok) return "HTTP " + std::to_string(response.status);
    return response.error;
}

}  // namespace cadrix
