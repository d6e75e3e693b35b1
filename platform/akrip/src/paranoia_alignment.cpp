// The secure reader's defences where paranoia aligns reads by themselves:
// sectors before a request that never read, the last samples before a gap,
// and silences where the drive places its reads unevenly.
#include <algorithm>
#include <cstring>

#include "paranoia_context.h"
#include "paranoia_reader.h"

namespace akrip {

using namespace paranoia_limits;

// The first sector in [from, limit) known bad that lies before `need`;
// `limit` when there is none.
int64_t ParanoiaReader::KnownBadBehind(int64_t from, int64_t need, int64_t limit) const {
    int64_t first = limit;
    for (const BadBehind& bad : behindBad_) {
        if (bad.failures >= kBehindTries && bad.sector >= from && bad.sector < need && bad.sector < first) {
            first = bad.sector;
        }
    }
    return first;
}

// The last sector in [from, to) taken as bad; -1 when there is none.
int64_t ParanoiaReader::LastBadBehind(int64_t from, int64_t to) const {
    int64_t last = -1;
    for (const BadBehind& bad : behindBad_) {
        if (bad.failures >= kBehindTries && bad.sector >= from && bad.sector < to) last = std::max(last, bad.sector);
    }
    return last;
}

// Counts a failure of a sector before a request's first; true once it is taken as bad.
bool ParanoiaReader::NoteBadBehind(int64_t sector) {
    for (BadBehind& bad : behindBad_) {
        if (bad.sector == sector) return ++bad.failures >= kBehindTries;
    }
    if (behindBad_.size() == kMaxBadBehind) behindBad_.erase(behindBad_.begin());
    behindBad_.push_back({sector, 1});
    return kBehindTries <= 1;
}

// Where the audio stops (a data track's pregap, the gap between sessions, the
// disc's end) paranoia has no reads after the last sector to check it by: a
// read the drive placed a few samples early ends short of the last samples,
// and paranoia fills them in. Fresh reads of the last sector are matched
// against paranoia's copy to see where the drive placed each; one placed no
// earlier than asked holds the last samples as the disc has them.
bool ParanoiaReader::RepairTail(uint8_t* last, int64_t sector, Context& context) {
    constexpr long kFrames = kAudioSectorBytes / 4;  // stereo samples in a sector
    constexpr long kMaxShift = 64;                   // samples a read may be placed off
    constexpr long kWindow = 256;                    // samples matched to place a read
    std::vector<uint8_t>& raw = tailRead_;
    auto sample = [](const uint8_t* bytes, long i) {
        uint32_t value = 0;
        std::memcpy(&value, bytes + size_t(i) * 4, 4);
        return value;
    };
    for (int attempt = 0; attempt < kTailReads && !context.Stopped(); ++attempt) {
        if (driveRead_(cdda_, raw.data(), static_cast<lsn_t>(sector), 1) != 1) continue;
        for (long shift = 0; shift <= kMaxShift; ++shift) {
            // raw[i] is the disc's sample (sector, i + shift).
            bool placed = true;
            for (long i = kMaxShift; placed && i < kMaxShift + kWindow; ++i) {
                placed = sample(raw.data(), i) == sample(last, i + shift);
            }
            if (!placed) continue;
            // The read covers the sector's end: its last kMaxShift samples
            // replace paranoia's.
            uint8_t* tail = last + size_t(kFrames - kMaxShift) * 4;
            const uint8_t* fresh = raw.data() + size_t(kFrames - kMaxShift - shift) * 4;
            if (std::memcmp(tail, fresh, size_t(kMaxShift) * 4) != 0) {
                std::memcpy(tail, fresh, size_t(kMaxShift) * 4);
                ++context.stats->corrections;
            }
            return true;
        }
    }
    return true;  // no read placed late enough, or silence: paranoia's copy stands
}

// Where paranoia fixed jitter lately, the silences of what it delivers are
// checked against reads that span them (silence_seams.h). A stream found off
// after a silence is read again from further back; one that stays off, or
// whose wrong samples were delivered already, fails the request.
bool ParanoiaReader::SeamsHold(int64_t lsn, uint32_t count, uint8_t* out, Context& context) {
    if (out == nullptr || lastFixup_ < lsn - kTailWatch || count > kMaxSeamRequest) return true;
    for (int attempt = 1;; ++attempt) {
        const int64_t kept = historyEnd_ == lsn ? historySectors_ : 0;
        const size_t keptBytes = size_t(kept) * kAudioSectorBytes;
        std::memcpy(seamView_.data(), history_.data() + history_.size() - keptBytes, keptBytes);
        std::memcpy(seamView_.data() + keptBytes, out, size_t{count} * kAudioSectorBytes);
        const std::span<const uint8_t> view(seamView_.data(), keptBytes + size_t{count} * kAudioSectorBytes);
        const SeamVerdict seam = CheckSilenceSeams(view, (lsn - kept) * kWordsPerSector / 2, lsn * kWordsPerSector / 2,
                                                   *this, seamRead_,
                                                   {static_cast<int64_t>(seamRead_.size() / kAudioSectorBytes)});
        if (!seam.misplaced) return true;
        ++context.stats->corrections;
        const int64_t wrong = seam.firstWrongSample / (kWordsPerSector / 2);
        if (wrong < lsn || attempt > kSeamRetries || context.Stopped() || !Restart()) {
            stale_ = true;
            NoteUnreadable(std::max(wrong, lsn), -1, *context.stats);
            return false;
        }
        // A new stream with a longer lead reads the silence in other pieces.
        if (!StartStream(lsn, count, out, context, kMinLead << (2 * attempt))) return false;
    }
}

// Keeps the last kHistorySectors sectors delivered.
void ParanoiaReader::Remember(int64_t lsn, uint32_t count, const uint8_t* out) {
    if (historyEnd_ != lsn) historySectors_ = 0;
    const int64_t keep = std::min<int64_t>(historySectors_ + count, kHistorySectors);
    const int64_t fromOut = std::min<int64_t>(count, keep);
    const size_t sector = kAudioSectorBytes;
    const size_t oldBytes = size_t(keep - fromOut) * sector;
    std::memmove(history_.data() + history_.size() - size_t(keep) * sector,
                 history_.data() + history_.size() - oldBytes, oldBytes);
    std::memcpy(history_.data() + history_.size() - size_t(fromOut) * sector, out + size_t(count - fromOut) * sector,
                size_t(fromOut) * sector);
    historySectors_ = keep;
    historyEnd_ = lsn + count;
}

bool ParanoiaReader::ReadRaw(int64_t first, int64_t sectors, uint8_t* out) {
    if (ReadableRun(ranges_, first) < sectors) return false;
    return driveRead_(cdda_, out, static_cast<lsn_t>(first), static_cast<long>(sectors)) == sectors;
}

}  // namespace akrip
