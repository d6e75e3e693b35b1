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
constexpr int64_t kVerifyAhead = 64;

// The read running on this thread: paranoia's callbacks carry no user pointer.
struct ReadContext {
    const std::atomic<bool>* abort = nullptr;
    const std::atomic<bool>* cancel = nullptr;
    ReadStats* stats = nullptr;
    std::vector<bool>* reread = nullptr;
    long (*driveRead)(cdrom_drive_t*, void*, lsn_t, long) = nullptr;
    bool skipped = false;
    int64_t badSector = -1;  // the last sector that failed on its own
    bool Stopped() const {
        return abort->load(std::memory_order_relaxed) || cancel->load(std::memory_order_relaxed);
    }
};
thread_local ReadContext* tContext = nullptr;

}  // namespace

ParanoiaReader::ParanoiaReader(CdIo_t* cdio, int64_t audioEnd, int testFlags)
    : reread_(static_cast<size_t>(audioEnd > 0 ? audioEnd : 0), false) {
    cdda_ = cdio_cddap_identify_cdio(cdio, CDDA_MESSAGE_FORGETIT, nullptr);
    if (!cdda_ || cdio_cddap_open(cdda_) != 0 || cdda_->tracks == 0) return;
    cdda_->i_test_flags = testFlags;
    // A failed read comes back to paranoia at once (cdda would repeat it six
    // times and shrink it, unseen): paranoia's own retries then do the work,
    // counted and abortable.
    cdda_->error_retry = 0;
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

// Every low-level read of paranoia. A request that fails is tried again
// sector by sector, so the sectors before a bad one still arrive (a short
// read) and the bad one is known; the sectors paranoia must read again are
// counted once each.
long ParanoiaReader::AbortableRead(cdrom_drive_t* drive, void* buffer, lsn_t begin, long sectors) {
    ReadContext* context = tContext;
    if (!context || !context->driveRead) return -1;
    if (context->Stopped()) {
        // Paranoia retries failed reads at length; agreeing silence lets it
        // return at once. The read is then failed and paranoia started anew.
        if (buffer) std::memset(buffer, 0, size_t(sectors) * kSectorBytes);  // null: a seek
        return sectors;
    }
    long got = context->driveRead(drive, buffer, begin, sectors);
    if (got >= sectors) return got;
    got = 0;
    uint8_t* bytes = static_cast<uint8_t*>(buffer);
    while (got < sectors && !context->Stopped() &&
           context->driveRead(drive, bytes ? bytes + size_t(got) * kSectorBytes : nullptr, begin + got, 1) == 1) {
        ++got;
    }
    if (got < sectors) context->badSector = begin + got;
    std::vector<bool>& reread = *context->reread;
    for (long s = begin + got; s < begin + sectors; ++s) {
        if (s >= 0 && static_cast<size_t>(s) < reread.size() && !reread[static_cast<size_t>(s)]) {
            reread[static_cast<size_t>(s)] = true;
            ++context->stats->sectorsReread;
        }
    }
    return got > 0 ? got : -1;
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

bool ParanoiaReader::Read(int64_t lsn, uint32_t count, uint8_t* out, const std::atomic<bool>& abort,
                          const std::atomic<bool>& cancel, ReadStats& stats) {
    if (stale_) {
        cdio_paranoia_free(paranoia_);
        paranoia_ = cdio_paranoia_init(cdda_);
        if (paranoia_) cdio_paranoia_modeset(paranoia_, PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);
        nextLsn_ = -1;
        stale_ = false;
    }
    if (!paranoia_ || abort.load() || cancel.load()) return false;
    ReadContext context{&abort, &cancel, &stats, &reread_, driveRead_, false};
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
        if (context.Stopped()) {
            stale_ = true;  // its cache may hold the silence read while stopped
            ok = false;
        } else if (!sector || context.skipped) {
            // Paranoia verifies a sector against the ones after it, so a bad
            // sector stops it up to kVerifyAhead sectors early: name the bad one.
            int64_t bad = lsn + i;
            if (context.badSector >= bad && context.badSector < bad + kVerifyAhead) bad = context.badSector;
            if (stats.unreadable.size() < kMaxUnreadable &&
                std::find(stats.unreadable.begin(), stats.unreadable.end(), bad) == stats.unreadable.end()) {
                stats.unreadable.push_back(bad);
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
