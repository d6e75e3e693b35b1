#include "verify/accuraterip.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>

#include "cddb_disc_id.h"

namespace cadrix {

namespace {

constexpr size_t kIdBytes = 13;         // track count and three little-endian ids
constexpr size_t kTrackEntryBytes = 9;  // confidence, checksum, frame-450 checksum

uint32_t Le32(const uint8_t* p) { return StereoSample(p); }

std::string Hex8(uint32_t value) {
    char text[12];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

bool SameDisc(const AccurateRipDiscId& a, const AccurateRipDiscId& b) {
    return a.audioTracks == b.audioTracks && a.id1 == b.id1 && a.id2 == b.id2 && a.cddbId == b.cddbId;
}

}  // namespace

std::string AccurateRipDiscId::Text() const {
    char count[8];
    std::snprintf(count, sizeof count, "%03u", audioTracks % 1000);
    return std::string(count) + "-" + Hex8(id1) + "-" + Hex8(id2) + "-" + Hex8(cddbId);
}

std::string AccurateRipDiscId::FilePath() const {
    const std::string id = Hex8(id1);
    return std::string("accuraterip/") + id[7] + "/" + id[6] + "/" + id[5] + "/dBAR-" + Text() + ".bin";
}

AccurateRipDiscId MakeAccurateRipDiscId(const DiscQuery& disc) {
    AccurateRipDiscId id;
    if (disc.trackCount < 1 || disc.trackCount >= TRACK_SLOTS) return id;
    std::array<uint32_t, TRACK_SLOTS> starts{};
    uint32_t n = 0;
    for (int32_t t = 1; t <= disc.trackCount; ++t) {
        starts[static_cast<size_t>(t - 1)] = disc.Start(t);
        if (disc.IsData(t)) continue;
        ++n;
        id.id1 += disc.Start(t);
        id.id2 += std::max<uint32_t>(disc.Start(t), 1) * n;
    }
    if (n == 0) return id;
    const uint32_t leadOut = disc.Start(disc.trackCount + 1);
    id.audioTracks = n;
    id.id1 += leadOut;
    id.id2 += std::max<uint32_t>(leadOut, 1) * (n + 1);
    id.cddbId = ::CddbDiscId(std::span(starts.data(), static_cast<size_t>(disc.trackCount)), leadOut);
    return id;
}

void TrackChecksum::Begin(bool first, bool last) {
    first_ = first;
    last_ = last;
    sumLow_ = sumHigh_ = 0;
    samples = 0;
    carryBytes_ = 0;
    crcState_ = static_cast<uint32_t>(::crc32(0L, Z_NULL, 0));
    v1 = v2 = crc32 = 0;
    peak = 0;
}

inline void TrackChecksum::AddSample(uint32_t sample) {
    const uint64_t position = ++samples;
    if (last_) tail_[position % AR_SKIPPED_SAMPLES] = sample;
    if (first_ && position < AR_SKIPPED_SAMPLES) return;
    const uint64_t product = position * sample;
    sumLow_ += product & 0xFFFFFFFFu;
    sumHigh_ += product >> 32;
}

void TrackChecksum::Add(std::span<const uint8_t> pcm) {
    // zlib takes lengths in uInt: hand it the block in pieces that fit.
    for (size_t done = 0; done < pcm.size();) {
        const size_t piece = std::min<size_t>(pcm.size() - done, 1u << 30);
        crcState_ = static_cast<uint32_t>(::crc32(crcState_, pcm.data() + done, static_cast<uInt>(piece)));
        done += piece;
    }
    // Blocks hold whole sectors, so every pair of bytes is one sample.
    for (size_t k = 0; k + 1 < pcm.size(); k += 2) {
        const int32_t value = static_cast<int16_t>(pcm[k] | pcm[k + 1] << 8);
        peak = std::max(peak, static_cast<uint32_t>(value < 0 ? -value : value));
    }
    size_t at = 0;
    while (carryBytes_ > 0 && carryBytes_ < 4 && at < pcm.size()) carry_[carryBytes_++] = pcm[at++];
    if (carryBytes_ == 4) {
        AddSample(StereoSample(carry_));
        carryBytes_ = 0;
    }
    const uint8_t* p = pcm.data() + at;
    const size_t whole = (pcm.size() - at) / 4;
    if (!first_ && !last_) {
        // The common case without the edge rules, kept free of branches.
        uint64_t position = samples;
        uint64_t low = sumLow_;
        uint64_t high = sumHigh_;
        for (size_t k = 0; k < whole; ++k) {
            const uint64_t product = ++position * StereoSample(p + 4 * k);
            low += product & 0xFFFFFFFFu;
            high += product >> 32;
        }
        samples = position;
        sumLow_ = low;
        sumHigh_ = high;
    } else {
        for (size_t k = 0; k < whole; ++k) AddSample(StereoSample(p + 4 * k));
    }
    for (size_t k = at + whole * 4; k < pcm.size(); ++k) carry_[carryBytes_++] = pcm[k];
}

void TrackChecksum::AddSamples(std::span<const uint32_t> samples) {
    for (uint32_t sample : samples) AddSample(sample);
}

void TrackChecksum::Finish() {
    if (last_) {
        // The last samples were counted as they came; their share goes again.
        const uint64_t tail = std::min<uint64_t>(samples, AR_SKIPPED_SAMPLES);
        for (uint64_t position = samples - tail + 1; position <= samples; ++position) {
            if (first_ && position < AR_SKIPPED_SAMPLES) continue;
            const uint64_t product = position * tail_[position % AR_SKIPPED_SAMPLES];
            sumLow_ -= product & 0xFFFFFFFFu;
            sumHigh_ -= product >> 32;
        }
    }
    v1 = static_cast<uint32_t>(sumLow_);
    v2 = static_cast<uint32_t>(sumLow_ + sumHigh_);
    crc32 = crcState_;
}

std::vector<AccurateRipSubmission> ParseAccurateRipFile(std::span<const uint8_t> bytes, size_t maxSubmissions) {
    std::vector<AccurateRipSubmission> submissions;
    size_t at = 0;
    while (submissions.size() < maxSubmissions && bytes.size() - at >= kIdBytes) {
        const uint8_t* p = bytes.data() + at;
        const size_t count = p[0];
        const size_t size = kIdBytes + count * kTrackEntryBytes;
        if (bytes.size() - at < size) break;  // cut short: nothing after it can be trusted
        AccurateRipSubmission submission;
        submission.disc = {static_cast<uint32_t>(count), Le32(p + 1), Le32(p + 5), Le32(p + 9)};
        submission.tracks.resize(count);
        for (size_t k = 0; k < count; ++k) {
            const uint8_t* entry = p + kIdBytes + k * kTrackEntryBytes;
            submission.tracks[k] = {entry[0], Le32(entry + 1), Le32(entry + 5)};
        }
        submissions.push_back(std::move(submission));
        at += size;
    }
    return submissions;
}

ArTrackResult MatchTrack(const std::vector<AccurateRipSubmission>& submissions, const AccurateRipDiscId& disc,
                         int32_t trackNumber, uint32_t v1, uint32_t v2) {
    ArTrackResult result;
    result.verdict = ArVerdict::NotInDatabase;
    if (trackNumber < 1) return result;
    const auto slot = static_cast<size_t>(trackNumber - 1);
    bool known = false;
    for (const AccurateRipSubmission& submission : submissions) {
        if (!SameDisc(submission.disc, disc)) continue;
        known = true;
        if (slot >= submission.tracks.size() || submission.tracks[slot].checksum == 0) continue;
        const AccurateRipSubmission::Track& entry = submission.tracks[slot];
        ++result.submissions;
        const bool isV2 = entry.checksum == v2;
        if (!isV2 && entry.checksum != v1) continue;
        const bool better = result.verdict != ArVerdict::Accurate || entry.confidence > result.confidence ||
                            (entry.confidence == result.confidence && isV2 && !result.v2);
        if (!better) continue;
        result.verdict = ArVerdict::Accurate;
        result.v2 = isV2;
        result.confidence = entry.confidence;
    }
    if (result.verdict == ArVerdict::Accurate) return result;
    if (known) result.verdict = result.submissions > 0 ? ArVerdict::NotAccurate : ArVerdict::TrackNotInDatabase;
    return result;
}

bool FindOffsetByChecksum(std::span<const uint32_t> drive, int64_t firstSample, const TrackSpan& track,
                          std::span<const uint32_t> wanted, int32_t range, int32_t& offset) {
    // Counted positions a..b (1-based within the track).
    const int64_t a = track.first ? AR_SKIPPED_SAMPLES : 1;
    const int64_t b = track.last ? track.samples - AR_SKIPPED_SAMPLES : track.samples;
    if (range < 0 || b < a || wanted.empty()) return false;
    // Index in `drive` of the track's position 1 at the smallest shift.
    const int64_t low = track.start - range - firstSample;
    if (low + a - 1 < 0 || low + 2 * int64_t{range} + b > static_cast<int64_t>(drive.size())) return false;

    // Sum and weighted sum of the counted samples at shift -range, then each
    // next shift from the last: the weighted sum moves by the plain sum.
    uint32_t weighted = 0;
    uint32_t plain = 0;
    for (int64_t i = a; i <= b; ++i) {
        const uint32_t x = drive[static_cast<size_t>(low + i - 1)];
        weighted += static_cast<uint32_t>(i) * x;
        plain += x;
    }
    bool found = false;
    for (int32_t shift = -range;; ++shift) {
        const bool match = std::find(wanted.begin(), wanted.end(), weighted) != wanted.end();
        if (match && (!found || std::abs(shift) < std::abs(offset))) {
            offset = shift;
            found = true;
        }
        if (shift == range) break;
        const int64_t s = low + (shift + range);
        const uint32_t leaving = drive[static_cast<size_t>(s + a - 1)];
        const uint32_t entering = drive[static_cast<size_t>(s + b)];
        weighted = weighted - plain - static_cast<uint32_t>(a - 1) * leaving + static_cast<uint32_t>(b) * entering;
        plain = plain - leaving + entering;
    }
    return found;
}

}  // namespace cadrix
