#include "subchannel_search.h"

#include <vector>

#include "image_plan.h"

namespace akrip {
namespace {

constexpr int kLeadOut = 0xAA;

std::optional<int> FromBcd(uint8_t byte) {
    if ((byte >> 4) > 9 || (byte & 0x0F) > 9) return std::nullopt;
    return (byte >> 4) * 10 + (byte & 0x0F);
}

uint16_t QCrc(std::span<const uint8_t> bytes) {
    uint16_t crc = 0;
    for (uint8_t byte : bytes) {
        crc ^= static_cast<uint16_t>(byte << 8);
        for (int bit = 0; bit < 8; ++bit) crc = static_cast<uint16_t>((crc & 0x8000) ? crc << 1 ^ 0x1021 : crc << 1);
    }
    return static_cast<uint16_t>(~crc);
}

// Reads near `lsn` until a mode-1 frame answers: a code frame (MCN, ISRC)
// or a damaged one is stepped over, away from `avoid`.
class Prober {
public:
    Prober(const QReader& read, const std::function<bool()>& stop) : read_(read), stop_(stop) {}

    std::optional<QPoint> At(int64_t lsn, int direction) {
        for (int attempt = 0; attempt < 4 && !stop_(); ++attempt) {
            const int64_t at = lsn + direction * attempt;
            if (at < 0) break;
            std::array<uint8_t, 16> q{};
            if (!read_(at, q)) {
                ++failures_;
                continue;
            }
            auto point = ParseQPosition(q);
            // Some drives give the Q of a neighbouring sector: the absolute
            // time says which.
            if (point && point->lsn >= at - 2 && point->lsn <= at + 2) return point;
            ++failures_;
        }
        return std::nullopt;
    }
    int Failures() const { return failures_; }

private:
    const QReader& read_;
    const std::function<bool()>& stop_;
    int failures_ = 0;
};

// The first sector in (before, after] where `reached` holds, given that it
// does not at `before` and does at `after`; none when Q fails.
template <typename Reached>
std::optional<int64_t> Boundary(Prober& probe, int64_t before, int64_t after, Reached reached) {
    while (after - before > 1) {
        const int64_t middle = before + (after - before) / 2;
        auto point = probe.At(middle, -1);
        if (!point || point->lsn <= before || point->lsn >= after) point = probe.At(middle, 1);
        if (!point || point->lsn <= before || point->lsn >= after) return std::nullopt;
        (reached(*point) ? after : before) = point->lsn;
    }
    return after;
}

}  // namespace

std::optional<QPoint> ParseQPosition(std::span<const uint8_t, 16> q) {
    if ((q[0] & 0x0F) != 1) return std::nullopt;
    if (QCrc(q.first(10)) != (uint16_t{q[10]} << 8 | q[11])) return std::nullopt;
    QPoint point;
    if (q[1] == kLeadOut) {
        point.track = kLeadOut;
    } else {
        auto track = FromBcd(q[1]);
        if (!track || *track < 1) return std::nullopt;
        point.track = *track;
    }
    auto index = FromBcd(q[2]);
    auto m = FromBcd(q[7]), s = FromBcd(q[8]), f = FromBcd(q[9]);
    if (!index || !m || !s || !f || *s > 59 || *f >= kFramesPerSecond) return std::nullopt;
    point.index = *index;
    point.lsn = (int64_t{*m} * 60 + *s) * kFramesPerSecond + *f - kMsfOffsetFrames;
    return point;
}

bool FindIndexPoints(DiscToc& toc, const QReader& read, const std::function<bool()>& stop) {
    Prober probe(read, stop);
    DiscToc found = toc;
    auto& tracks = found.tracks;
    if (tracks.empty()) return false;
    // Q must name the first track's start right, or it is of no use.
    const auto first = probe.At(tracks[0].start, 1);
    if (!first || first->track != 1) return false;
    if (tracks[0].start > 0) tracks[0].index0 = 0;
    for (size_t k = 0; k < tracks.size(); ++k) {
        TocTrack& track = tracks[k];
        const int number = static_cast<int>(k + 1);
        if (k > 0 && track.session == tracks[k - 1].session && tracks[k - 1].IsAudio()) {
            // The pregap: Q names this track from its INDEX 00 on. No pregap
            // is the common case (one read); else the search widens backwards.
            const int64_t floor = tracks[k - 1].start;
            auto before = probe.At(track.start - 1, -1);
            if (!before) return false;
            int64_t after = track.start;
            int64_t step = 2;
            while (before->track == number && before->lsn > floor) {
                after = before->lsn;
                const int64_t next = std::max(floor, track.start - step);
                before = probe.At(next, -1);
                if (!before) return false;
                step *= 2;
            }
            if (before->track == number) {
                track.index0 = static_cast<int32_t>(floor + 1);
            } else {
                auto at = Boundary(probe, before->lsn, after, [&](const QPoint& p) { return p.track == number; });
                if (!at) return false;
                track.index0 = static_cast<int32_t>(*at);
            }
        }
    }
    // The index points, once every pregap is known: the last sector of a
    // track tells how many it has.
    for (size_t k = 0; k < tracks.size(); ++k) {
        TocTrack& track = tracks[k];
        const int number = static_cast<int>(k + 1);
        if (!track.IsAudio()) continue;
        const int64_t end = k + 1 < tracks.size() ? tracks[k + 1].PregapStart() : found.leadOut;
        if (end - track.start < 2) continue;
        auto last = probe.At(end - 1, -1);
        if (!last) return false;
        track.indexes.clear();
        int64_t floor = track.start;
        for (int index = 2; last->track == number && index <= last->index; ++index) {
            auto at = Boundary(probe, floor, last->lsn,
                               [&](const QPoint& p) { return p.track != number || p.index >= index; });
            if (!at) return false;
            track.indexes.push_back({index, static_cast<int32_t>(*at)});
            floor = *at;
        }
    }
    if (stop()) return false;
    toc = std::move(found);
    return true;
}

}  // namespace akrip
