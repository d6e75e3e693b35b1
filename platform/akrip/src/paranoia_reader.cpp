#include "paranoia_reader.h"

#include <algorithm>
#include <cstring>

namespace akrip {
namespace {

constexpr uint32_t kSectorBytes = 2352;
// Retries of one sector before paranoia gives up on it (a multiple of 5:
// paranoia looks at the count every fifth retry).
constexpr int kMaxRetries = 20;
constexpr size_t kMaxUnreadable = 64;

// The read running on this thread: paranoia's callbacks carry no user pointer.
struct ReadContext {
    const std::atomic<bool>* abort = nullptr;
    ReadStats* stats = nullptr;
    std::vector<bool>* reread = nullptr;
    long (*driveRead)(cdrom_drive_t*, void*, lsn_t, long) = nullptr;
    bool skipped = false;
};
thread_local ReadContext* tContext = nullptr;

}  // namespace

ParanoiaReader::ParanoiaReader(CdIo_t* cdio, int64_t audioEnd, int testFlags)
    : reread_(static_cast<size_t>(audioEnd > 0 ? audioEnd : 0), false) {
    cdda_ = cdio_cddap_identify_cdio(cdio, CDDA_MESSAGE_FORGETIT, nullptr);
    if (!cdda_ || cdio_cddap_open(cdda_) != 0 || cdda_->tracks == 0) return;
    cdda_->i_test_flags = testFlags;
    // Every low-level read goes through AbortableRead, so an abort makes the
    // remaining reads fail at once and paranoia returns quickly.
    driveRead_ = cdda_->read_audio;
    cdda_->read_audio = &ParanoiaReader::AbortableRead;
    paranoia_ = cdio_paranoia_init(cdda_);
    // Full verification; skipping is allowed so that paranoia returns after
    // kMaxRetries, and a skip fails the read (NEVERSKIP would retry forever).
    if (paranoia_) cdio_paranoia_modeset(paranoia_, PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);
}

ParanoiaReader::~ParanoiaReader() {
    if (paranoia_) cdio_paranoia_free(paranoia_);
    if (cdda_) cdio_cddap_close_no_free_cdio(cdda_);
}

long ParanoiaReader::AbortableRead(cdrom_drive_t* drive, void* buffer, lsn_t begin, long sectors) {
    ReadContext* context = tContext;
    if (!context || !context->driveRead || context->abort->load(std::memory_order_relaxed)) return -1;
    const long got = context->driveRead(drive, buffer, begin, sectors);
    if (got < sectors) {
        // Paranoia reads these sectors again; count each once.
        for (long s = begin + (got > 0 ? got : 0); s < begin + sectors; ++s) {
            if (s >= 0 && static_cast<size_t>(s) < context->reread->size() && !(*context->reread)[static_cast<size_t>(s)]) {
                (*context->reread)[static_cast<size_t>(s)] = true;
                ++context->stats->sectorsReread;
            }
        }
    }
    return got;
}

void ParanoiaReader::Progress(long, paranoia_cb_mode_t mode) {
    ReadContext* context = tContext;
    if (!context) return;
    switch (mode) {
        case PARANOIA_CB_SKIP:
            context->skipped = true;
            break;
        case PARANOIA_CB_FIXUP_EDGE:
        case PARANOIA_CB_FIXUP_ATOM:
        case PARANOIA_CB_FIXUP_DROPPED:
        case PARANOIA_CB_FIXUP_DUPED:
        case PARANOIA_CB_DRIFT:
        case PARANOIA_CB_SCRATCH:
        case PARANOIA_CB_REPAIR:
            ++context->stats->corrections;
            break;
        default:
            break;
    }
}

void ParanoiaReader::ForgetRereads() { std::fill(reread_.begin(), reread_.end(), false); }

bool ParanoiaReader::Read(int64_t lsn, uint32_t count, uint8_t* out, const std::atomic<bool>& abort, ReadStats& stats) {
    if (!paranoia_) return false;
    ReadContext context{&abort, &stats, &reread_, driveRead_, false};
    tContext = &context;
    if (lsn != nextLsn_) {
        // A seek empties paranoia's cache; sequential requests do not seek.
        cdio_paranoia_seek(paranoia_, static_cast<int32_t>(lsn), SEEK_SET);
    }
    nextLsn_ = -1;
    bool ok = true;
    for (uint32_t i = 0; ok && i < count; ++i) {
        context.skipped = false;
        const int16_t* sector = cdio_paranoia_read_limited(paranoia_, &ParanoiaReader::Progress, kMaxRetries);
        if (abort.load(std::memory_order_relaxed)) {
            ok = false;
        } else if (!sector || context.skipped) {
            if (stats.unreadable.size() < kMaxUnreadable &&
                (stats.unreadable.empty() || stats.unreadable.back() != lsn + i)) {
                stats.unreadable.push_back(lsn + i);
            }
            ok = false;
        } else {
            std::memcpy(out + size_t{i} * kSectorBytes, sector, kSectorBytes);
        }
    }
    tContext = nullptr;
    if (ok) nextLsn_ = lsn + count;
    return ok;
}

}  // namespace akrip
