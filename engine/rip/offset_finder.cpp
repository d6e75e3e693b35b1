#include "rip/offset_finder.h"

#include <algorithm>
#include <memory>

#include "disc/drive_set.h"
#include "rip/extract_worker.h"
#include "rip/output_session.h"

namespace cadrix {

namespace {

constexpr int64_t kSamplesPerFrame = cd::kSamplesPerFrame;
constexpr size_t kMaxTracksTried = 3;

struct Candidate {
    int32_t track = 0;
    int64_t begin = 0;  // frames of the track's audio
    int64_t end = 0;
    bool first = false;
    bool last = false;
    std::vector<uint32_t> sums;  // every sum AccurateRip has for it
};

// The audio tracks AccurateRip has sums for: the disc's inner tracks first
// (their sums count every sample), shorter ones first.
std::vector<Candidate> Candidates(const DiscQuery& disc, const ArLookupResult& answer) {
    const int32_t firstAudio = disc.FirstAudioTrack();
    const int32_t lastAudio = disc.LastAudioTrack();
    std::vector<Candidate> candidates;
    for (int32_t t = firstAudio; t != 0 && t <= lastAudio; ++t) {
        Candidate c{t, disc.Start(t), disc.Start(t + 1), t == firstAudio, t == lastAudio, {}};
        // An Enhanced CD's audio ends before the gap to its data session.
        if (c.last) c.end = disc.AudioEnd();
        for (const AccurateRipSubmission& submission : answer.submissions) {
            const auto slot = static_cast<size_t>(t - 1);
            if (slot < submission.tracks.size() && submission.tracks[slot].checksum != 0) {
                c.sums.push_back(submission.tracks[slot].checksum);
            }
        }
        if (!disc.IsData(t) && !c.sums.empty()) candidates.push_back(std::move(c));
    }
    std::stable_sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        const bool aEdge = a.first || a.last;
        const bool bEdge = b.first || b.last;
        return aEdge != bEdge ? bEdge : a.end - a.begin < b.end - b.begin;
    });
    return candidates;
}

// The drive's samples of frames [first, end) without offset correction;
// frames outside the disc, or that do not read outside `track`, are
// silence. False (with the reason) when a frame of the track does not read.
bool ReadRaw(const AkripEntryPoints& akrip, HCDROM handle, int64_t first, int64_t end, const Candidate& track,
             int64_t leadOut, std::vector<uint32_t>& samples, const std::atomic<bool>* cancel, std::string& reason) {
    samples.assign(static_cast<size_t>((end - first) * kSamplesPerFrame), 0);
    std::vector<uint32_t> storage((sizeof(ReadBuffer) + READ_CAPACITY) / 4);
    auto* buffer = reinterpret_cast<ReadBuffer*>(storage.data());
    buffer->capacity = READ_CAPACITY;
    ReadBuffer overlap{};
    for (int64_t frame = std::max<int64_t>(first, 0); frame < std::min(end, leadOut);) {
        if (cancel != nullptr && cancel->load()) {
            reason = "cancelled";
            return false;
        }
        bool ok = false;
        for (int attempt = 0; attempt < READ_ATTEMPTS && !ok; ++attempt) {
            buffer->startFrame = static_cast<uint32_t>(frame);
            buffer->frameCount = static_cast<uint32_t>(std::min<int64_t>(BLOCK_FRAMES, std::min(end, leadOut) - frame));
            ok = akrip.ReadCDAudioLBAEx(handle, buffer, &overlap) == 1 && buffer->frameCount >= 1 &&
                 buffer->frameCount <= static_cast<uint32_t>(BLOCK_FRAMES) && buffer->dataOffset == 0;
        }
        if (!ok) {
            if (frame >= track.begin && frame < track.end) {
                reason = "cannot read sector " + std::to_string(frame) + " of track " + std::to_string(track.track);
                return false;
            }
            ++frame;  // outside the track: silence will do
            continue;
        }
        const uint8_t* data = ReadBufferData(buffer);
        uint32_t* out = samples.data() + (frame - first) * kSamplesPerFrame;
        for (size_t k = 0; k < buffer->frameCount * size_t{kSamplesPerFrame}; ++k) out[k] = StereoSample(data + 4 * k);
        frame += buffer->frameCount;
    }
    return true;
}

// Tries one track; the offset and the confidence of the match when found.
bool TryTrack(DriveSet& drives, HCDROM handle, const DiscQuery& disc, const ArLookupResult& answer,
              const Candidate& track, int32_t range, const std::atomic<bool>* cancel, OffsetSearch& search) {
    const int64_t margin = range / kSamplesPerFrame + 1;
    const int64_t first = track.begin - margin;
    std::vector<uint32_t> samples;
    if (!ReadRaw(drives.akrip, handle, first, track.end + margin, track, disc.Start(disc.trackCount + 1), samples,
                 cancel, search.reason)) {
        return false;
    }
    const TrackSpan span{track.begin * kSamplesPerFrame, (track.end - track.begin) * kSamplesPerFrame, track.first,
                         track.last};
    int32_t offset = 0;
    if (!FindOffsetByChecksum(samples, first * kSamplesPerFrame, span, track.sums, range, offset)) {
        search.reason = "no shift within ±" + std::to_string(range) + " samples matches AccurateRip";
        return false;
    }
    TrackChecksum sums;
    sums.Begin(track.first, track.last);
    const auto at = static_cast<size_t>(span.start + offset - first * kSamplesPerFrame);
    sums.AddSamples(std::span(samples).subspan(at, static_cast<size_t>(span.samples)));
    sums.Finish();
    const ArTrackResult match = MatchTrack(answer.submissions, answer.disc, track.track, sums.v1, sums.v2);
    search = {true, offset, track.track, match.confidence, {}};
    return true;
}

}  // namespace

OffsetSearch FindReadOffset(DriveSet& drives, int drive, const VerifySettings& settings,
                            const std::atomic<bool>* cancel, int32_t range) {
    OffsetSearch search;
    if (drive < 0 || drive >= drives.driveCount || !drives.akrip.IsBound()) {
        search.reason = "there is no such drive";
        return search;
    }
    const DriveRecord& record = drives.drives[static_cast<size_t>(drive)];
    const DiscQuery disc = MakeDiscQuery(record);
    const AccurateRipDiscId id = MakeAccurateRipDiscId(disc);
    if (!id.Valid()) {
        search.reason = "the drive holds no audio disc";
        return search;
    }
    const ArLookupResult answer = LookUpAccurateRip(id, {}, settings, cancel);
    if (answer.status != ArLookupStatus::Found) {
        search.reason = answer.reason + "; the offset needs a disc AccurateRip knows";
        return search;
    }
    // The drive as it is: no correction, every sector verified.
    if (drives.akrip.SetReadOffset != nullptr) drives.akrip.SetReadOffset(record.handle, 0);
    if (drives.akrip.SetReadMode != nullptr) drives.akrip.SetReadMode(record.handle, AKRIP_READ_SECURE);
    const std::vector<Candidate> candidates = Candidates(disc, answer);
    if (candidates.empty()) search.reason = "AccurateRip has no sums for the disc's tracks";
    for (size_t k = 0; k < candidates.size() && k < kMaxTracksTried; ++k) {
        if (TryTrack(drives, record.handle, disc, answer, candidates[k], range, cancel, search)) break;
    }
    return search;
}

}  // namespace cadrix
