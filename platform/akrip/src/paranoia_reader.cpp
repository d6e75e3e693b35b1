#include "paranoia_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "image_plan.h"
#include "mmc_sense.h"
#include "paranoia_context.h"

namespace akrip {
namespace {

using namespace paranoia_limits;

void Silence(uint8_t* bytes, long first, long count) {
    if (bytes != nullptr) std::memset(bytes + size_t(first) * kAudioSectorBytes, 0, size_t(count) * kAudioSectorBytes);
}

}  // namespace

namespace {
thread_local ParanoiaReader::Context* tContext = nullptr;
}  // namespace

ParanoiaReader::ParanoiaReader(CdIo_t* cdio, std::vector<AudioRange> ranges, int testFlags, bool littleEndian)
    : cdio_(cdio), ranges_(std::move(ranges)) {
    const int64_t end = ranges_.empty() ? 0 : ranges_.back().end;
    reread_.assign(static_cast<size_t>(std::max<int64_t>(end, 0)), false);
    delivered_.assign(reread_.size(), false);
    heard_.assign(reread_.size(), false);
    tailRead_.assign(kAudioSectorBytes, 0);
    behindBad_.reserve(kMaxBadBehind);
    history_.assign(size_t{kHistorySectors} * kAudioSectorBytes, 0);
    seamView_.assign(size_t{kHistorySectors + kMaxSeamRequest} * kAudioSectorBytes, 0);
    cdda_ = cdio_cddap_identify_cdio(cdio, CDDA_MESSAGE_FORGETIT, nullptr);
    if (!cdda_) return;
    // A drive's READ CD gives little-endian samples: no scan of the disc
    // (which reads on for as long as the audio is silent) to guess it.
    if (littleEndian) cdda_->bigendianp = 0;
    // Opening reads one sector in the middle of each audio track as the TOC
    // has it; on an Enhanced CD whose audio is shorter than the gap between
    // the sessions that sector lies in the gap. The drive is open all the
    // same (-6 comes last): the reads here never leave the audio.
    const int opened = cdio_cddap_open(cdda_);
    if ((opened != 0 && !(opened == -6 && cdda_->opened)) || cdda_->tracks == 0) return;
    cdda_->i_test_flags = testFlags;
    // A failed read comes back to paranoia at once (cdda would repeat it six
    // times and shrink it, unseen): paranoia's own retries then do the work,
    // counted and abortable.
    cdda_->error_retry = 0;
    driveRead_ = cdda_->read_audio;
    seamRead_.assign(size_t(std::clamp(cdda_->nsectors, 1, 25)) * kAudioSectorBytes, 0);
    cdda_->read_audio = &ParanoiaReader::ReadForParanoia;
    Restart();
}

ParanoiaReader::~ParanoiaReader() {
    if (paranoia_) cdio_paranoia_free(paranoia_);
    if (cdda_) cdio_cddap_close_no_free_cdio(cdda_);
}

bool ParanoiaReader::Restart() {
    if (paranoia_) cdio_paranoia_free(paranoia_);
    paranoia_ = cdio_paranoia_init(cdda_);
    // Full verification, never skipping: paranoia's skip can crash when it
    // has nothing verified yet. A request that does not come to an end is
    // stopped by ReadForParanoia instead (kMaxFailures, the read budget).
    if (paranoia_) cdio_paranoia_modeset(paranoia_, PARANOIA_MODE_FULL);
    nextLsn_ = -1;
    stale_ = false;
    deferredBad_ = -1;
    return paranoia_ != nullptr;
}

// Reads [begin, begin + sectors) of readable audio, sector by sector once
// the request fails, so the sectors before a bad one still arrive and the
// bad one is known. Returns how many arrived; the sectors not read are
// counted as read again (once each).
long ParanoiaReader::ReadRun(Context& context, cdrom_drive_t* drive, uint8_t* bytes, lsn_t begin, long sectors) {
    ParanoiaReader& reader = *context.reader;
    if (reader.driveRead_(drive, bytes, begin, sectors) >= sectors) {
        reader.MarkDelivered(begin, sectors, bytes);
        return sectors;
    }
    if (SenseSaysDiscGone(context.cdio) || cdio_get_media_changed(context.cdio) > 0) {
        reader.gone_ = true;
        return 0;
    }
    long got = 0;
    while (got < sectors && !context.Stopped() &&
           reader.driveRead_(drive, bytes ? bytes + size_t(got) * kAudioSectorBytes : nullptr, begin + got, 1) == 1) {
        ++got;
    }
    reader.MarkDelivered(begin, got, bytes);
    if (got < sectors && SenseSaysDiscGone(context.cdio)) reader.gone_ = true;
    for (long s = begin + got; s < begin + sectors; ++s) {
        if (s >= 0 && static_cast<size_t>(s) < reader.reread_.size() && !reader.reread_[static_cast<size_t>(s)]) {
            reader.reread_[static_cast<size_t>(s)] = true;
            ++context.stats->sectorsReread;
        }
    }
    return got;
}

// What paranoia is given after a read failed on sector `bad`, `done`
// sectors of its request being read: kGoOn when the sector is taken as
// silence and the read goes on, else what ReadForParanoia returns.
long ParanoiaReader::AfterFailedRead(Context& context, int64_t bad, long done) {
    ParanoiaReader& reader = *context.reader;
    if (bad >= context.fence) {
        // Past the track being read: silence from here on, until a request
        // reaches it and it is read for real. The silence starts with
        // paranoia's next read, never right after this one's sectors: a
        // drive that places reads a few samples off would otherwise have
        // paranoia align that silence over the last real samples.
        reader.deferredBad_ = bad;
        errno = EIO;
        return done > 0 ? done : -1;
    }
    // Before the request, read only to align the reads after it: retried by
    // paranoia for a while, then silence.
    if (bad < context.need) {
        if (reader.NoteBadBehind(bad)) return kGoOn;
        errno = EIO;
        return done > 0 ? done : -1;
    }
    context.badSector = bad;
    if (++context.failures > kMaxFailures) {
        context.gaveUp = true;
        errno = ENOMEDIUM;
        return -1;
    }
    errno = EIO;
    return done > 0 ? done : -1;
}

// Every low-level read of paranoia. A stop or a vanished disc ends paranoia
// at once: it gives up on ENOMEDIUM without retrying.
long ParanoiaReader::ReadForParanoia(cdrom_drive_t* drive, void* buffer, lsn_t begin, long sectors) {
    Context* context = tContext;
    if (!context) return -1;
    ParanoiaReader& reader = *context->reader;
    auto* bytes = static_cast<uint8_t*>(buffer);                         // null: a seek
    if (++context->reads > context->readBudget) context->gaveUp = true;  // it cannot verify the sector
    long done = 0;
    while (done < sectors) {
        if (context->Stopped() || reader.gone_ || context->gaveUp) {
            errno = ENOMEDIUM;
            return -1;
        }
        const int64_t sector = begin + done;
        const int64_t behind = reader.KnownBadBehind(sector, context->need, begin + sectors);
        if (behind == sector) {  // failed before: not asked of the drive again
            Silence(bytes, done, 1);
            ++done;
            continue;
        }
        // One drive read for all the readable sectors: paranoia takes what one
        // read returns as contiguous, and checks only the seams between reads.
        long run = static_cast<long>(std::min<int64_t>(sectors - done, ReadableRun(reader.ranges_, sector)));
        if (reader.deferredBad_ >= 0) run = static_cast<long>(std::min<int64_t>(run, reader.deferredBad_ - sector));
        run = static_cast<long>(std::min<int64_t>(run, behind - sector));
        if (run <= 0) {
            Silence(bytes, done, 1);
            ++done;
            continue;
        }
        const long got = ReadRun(*context, drive, bytes ? bytes + size_t(done) * kAudioSectorBytes : nullptr,
                                 static_cast<lsn_t>(sector), run);
        done += got;
        if (got == run || reader.gone_ || context->Stopped()) continue;
        const long result = AfterFailedRead(*context, sector + got, done);
        if (result != kGoOn) return result;
        Silence(bytes, done, 1);  // taken as silence, never delivered
        ++done;
    }
    return done;
}

void ParanoiaReader::Progress(long position, paranoia_cb_mode_t mode) {
    Context* context = tContext;
    if (!context) return;
    switch (mode) {
        case PARANOIA_CB_SKIP: context->skipped = true; break;
        case PARANOIA_CB_FIXUP_EDGE:
        case PARANOIA_CB_FIXUP_ATOM:
        case PARANOIA_CB_FIXUP_DROPPED:
        case PARANOIA_CB_FIXUP_DUPED:
        case PARANOIA_CB_DRIFT:
        case PARANOIA_CB_SCRATCH:
        case PARANOIA_CB_REPAIR:
            ++context->stats->corrections;
            if (context->firstFixup < 0) context->firstFixup = position / kWordsPerSector;
            context->reader->lastFixup_ = std::max(context->reader->lastFixup_, position / kWordsPerSector);
            break;
        default: break;
    }
}

void ParanoiaReader::NoteUnreadable(int64_t sector, int64_t badSector, ReadStats& stats) const {
    // Paranoia verifies a sector against the ones after it, so a bad sector
    // stops it up to kVerifyAhead sectors early: name the bad one.
    if (badSector >= sector && badSector < sector + kVerifyAhead) sector = badSector;
    if (stats.unreadable.size() < kMaxUnreadable &&
        std::find(stats.unreadable.begin(), stats.unreadable.end(), sector) == stats.unreadable.end()) {
        stats.unreadable.push_back(sector);
    }
    stats.Fail(ReadFailure::Unreadable);
}

// Reads the sectors from paranoia's cursor on into `out` (null: read and
// dropped); false when one cannot be had.
bool ParanoiaReader::ReadOn(int64_t lsn, uint32_t count, uint8_t* out, Context& context) {
    context.reads = 0;
    context.readBudget = kReadBudget + 4 * long{count};
    for (uint32_t i = 0; i < count; ++i) {
        context.skipped = false;
        const int16_t* sector = cdio_paranoia_read_limited(paranoia_, &ParanoiaReader::Progress, kMaxRetries);
        if (context.Stopped()) {
            stale_ = true;  // it gave up half-way
            return false;
        }
        if (gone_) {
            context.stats->Fail(ReadFailure::DiscGone);
            return false;
        }
        if (!sector || context.skipped || context.gaveUp) {
            if (context.gaveUp) stale_ = true;
            if (out != nullptr) NoteUnreadable(lsn + i, context.badSector, *context.stats);
            return false;
        }
        if (out == nullptr) continue;
        if (!Delivered(lsn + i)) {
            // Paranoia takes the zeros it put in for a sector the drive never
            // gave for silence when silence surrounds it: not the disc's audio.
            stale_ = true;
            NoteUnreadable(lsn + i, lsn + i, *context.stats);
            return false;
        }
        if (heard_[static_cast<size_t>(lsn + i)] && Silent(reinterpret_cast<const uint8_t*>(sector))) {
            // The same where the drive gave it: a read that failed next to
            // silence left paranoia its zeros. Read it again afresh.
            stale_ = true;
            context.stats->Fail(ReadFailure::Unreadable);
            return false;
        }
        std::memcpy(out + size_t{i} * kAudioSectorBytes, sector, kAudioSectorBytes);
    }
    return true;
}

// Records the sectors a read gave (`bytes` null: a seek, nothing seen), and
// those whose middle held sound: a drive places a read at most a few samples
// off, so sound there is the sector's own.
void ParanoiaReader::MarkDelivered(int64_t first, long count, const uint8_t* bytes) {
    constexpr size_t kEdge = 64 * 4;  // bytes at each end a misplaced read may bring in
    for (long k = 0; k < count; ++k) {
        const int64_t s = first + k;
        if (s < 0 || static_cast<size_t>(s) >= delivered_.size()) continue;
        delivered_[static_cast<size_t>(s)] = true;
        if (bytes == nullptr || heard_[static_cast<size_t>(s)]) continue;
        const uint8_t* middle = bytes + size_t(k) * kAudioSectorBytes + kEdge;
        heard_[static_cast<size_t>(s)] = std::any_of(middle, middle + kAudioSectorBytes - 2 * kEdge,
                                                     [](uint8_t b) { return b != 0; });
    }
}

bool ParanoiaReader::Silent(const uint8_t* sector) {
    return std::all_of(sector, sector + kAudioSectorBytes, [](uint8_t b) { return b == 0; });
}

bool ParanoiaReader::Delivered(int64_t sector) const {
    return sector >= 0 && static_cast<size_t>(sector) < delivered_.size() && delivered_[static_cast<size_t>(sector)];
}

// The first sector of the audio that can be read without a break up to `lsn`.
int64_t ParanoiaReader::StreamFloor(int64_t lsn) const {
    int64_t floor = lsn;
    for (auto range = ranges_.rbegin(); range != ranges_.rend(); ++range) {
        if (range->Holds(floor) || range->end == floor) floor = std::min(floor, range->begin);
    }
    return floor;
}

// Starts a stream that delivers [lsn, lsn + count). Paranoia aligns a read to
// the reads before it, never to the disc: a stream whose first reads a drive
// placed a few samples off (jitter) stays off by as much. So a start where
// paranoia had to fix seams between reads at once is not trusted, and the
// stream starts again further back (the sectors before `lsn` are read and
// dropped), up to where the audio begins.
bool ParanoiaReader::StartStream(int64_t lsn, uint32_t count, uint8_t* out, Context& context, int64_t minLead) {
    int64_t floor = StreamFloor(lsn);
    for (int64_t lead = minLead;; lead = lead < kFirstLead ? kFirstLead : lead * 4) {
        const int64_t start = std::max(floor, lsn - lead);
        // A new try forgets what the last one read (paranoia keeps its reads
        // across a seek and would match the new ones against them).
        if (lead != minLead && !Restart()) return false;
        std::fill(delivered_.begin(), delivered_.end(), false);  // what this stream reads counts
        cdio_paranoia_seek(paranoia_, static_cast<int32_t>(start), SEEK_SET);
        context.firstFixup = -1;
        if (start < lsn && !ReadOn(start, static_cast<uint32_t>(lsn - start), nullptr, context)) {
            if (context.Stopped() || gone_) return false;
            if (context.badSector >= lsn) {  // a sector asked for failed the sectors before it
                NoteUnreadable(lsn, context.badSector, *context.stats);
                return false;
            }
            // A bad sector of the track before: start where asked.
            if (!Restart()) return false;
            std::fill(delivered_.begin(), delivered_.end(), false);
            cdio_paranoia_seek(paranoia_, static_cast<int32_t>(lsn), SEEK_SET);
            return ReadOn(lsn, count, out, context);
        }
        // Silence in place of a sector that never reads would leave paranoia
        // nothing to align the reads after it by: the stream starts after it.
        if (const int64_t bad = LastBadBehind(start, lsn); bad >= 0) {
            floor = bad + 1;
            continue;
        }
        if (!ReadOn(lsn, count, out, context)) return false;
        if (start == floor || context.firstFixup < 0 || context.firstFixup >= start + kTrustSectors) return true;
    }
}

bool ParanoiaReader::Read(int64_t lsn, uint32_t count, int64_t fence, uint8_t* out, const std::atomic<bool>& abort,
                          const std::atomic<bool>& cancel, ReadStats& stats) {
    if (gone_) {
        stats.Fail(ReadFailure::DiscGone);
        return false;
    }
    // Paranoia's data past a sector taken as silence is not the disc's.
    if (deferredBad_ >= 0 && lsn + count > deferredBad_) stale_ = true;
    if (stale_ && !Restart()) return false;
    if (!paranoia_ || abort.load() || cancel.load()) return false;
    Context context{this, cdio_, &abort, &cancel, &stats, std::max<int64_t>(fence, lsn + count), lsn};
    tContext = &context;
    // A request that follows on from the last one goes on with the stream.
    bool ok = lsn == nextLsn_ ? ReadOn(lsn, count, out, context) : StartStream(lsn, count, out, context, kMinLead);
    // The audio's last samples before a gap or the disc's end: see to them
    // where the drive places its reads unevenly.
    if (ok && ReadableRun(ranges_, lsn + count - 1) == 1 && lastFixup_ >= lsn + count - kTailWatch) {
        ok = RepairTail(out + size_t{count - 1} * kAudioSectorBytes, lsn + count - 1, context);
    }
    ok = ok && SeamsHold(lsn, count, out, context);
    tContext = nullptr;
    nextLsn_ = ok ? lsn + count : -1;
    if (ok) Remember(lsn, count, out);
    return ok;
}

}  // namespace akrip
