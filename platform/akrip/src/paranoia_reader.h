// Secure reads of audio sectors through libcdio-paranoia: every sector is
// verified against overlapping reads; a sector paranoia cannot verify within
// its retries fails the read instead of being skipped or filled in silently.
// What had to be fixed is counted, and a read can be aborted in between.
//
// Requests that follow on from each other are one stream: paranoia keeps
// its verified data across them and never starts again at a track boundary.
// Paranoia verifies a sector against the sectors after it, so it reads past
// the sectors asked for; a sector it cannot read there (at or after the
// request's `fence`, the end of the track being read) does not fail the
// request: it is taken as silence for the verification and read for real
// when a later request reaches it. Paranoia also reads back before the
// sectors asked for (its overlap, a stream's lead); a sector there that fails
// is taken as silence too: nothing of it is delivered.
#pragma once

#include <cdio/cdio.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "audio_ranges.h"
#include "read_stats.h"
#include "silence_seams.h"

namespace akrip {

class ParanoiaReader final : private RawSectorSource {
public:
    // Opens the cdda and paranoia objects over `cdio` (not owned, outlives
    // this object). `ranges` are the disc's readable audio; sectors outside
    // them are never asked of the drive (a data track's pregap, the gap
    // between sessions) and read as silence. `littleEndian`: the drive's
    // samples are known to be little-endian (any drive's READ CD), so
    // paranoia need not scan the disc to guess.
    ParanoiaReader(CdIo_t* cdio, std::vector<AudioRange> ranges, int testFlags, bool littleEndian);
    ~ParanoiaReader();
    ParanoiaReader(const ParanoiaReader&) = delete;
    ParanoiaReader& operator=(const ParanoiaReader&) = delete;

    bool Valid() const { return paranoia_ != nullptr; }
    // Reads the sectors [lsn, lsn + count) into `out`. False when one cannot
    // be verified (it is added to stats.unreadable), the disc went away
    // (stats.failure says so) or `abort` or `cancel` was set; at once after
    // that, at any drive speed.
    bool Read(int64_t lsn, uint32_t count, int64_t fence, uint8_t* out, const std::atomic<bool>& abort,
              const std::atomic<bool>& cancel, ReadStats& stats);
    // True once a read found the disc gone: nothing reads any more.
    bool DiscGone() const { return gone_; }

public:
    struct Context;  // the request in progress, for paranoia's callbacks

private:
    static long ReadForParanoia(cdrom_drive_t* drive, void* buffer, lsn_t begin, long sectors);
    static constexpr long kGoOn = -2;
    static long AfterFailedRead(Context& context, int64_t bad, long done);
    static long ReadRun(Context& context, cdrom_drive_t* drive, uint8_t* bytes, lsn_t begin, long sectors);
    static void Progress(long position, paranoia_cb_mode_t mode);
    bool Restart();
    bool ReadOn(int64_t lsn, uint32_t count, uint8_t* out, Context& context);
    bool StartStream(int64_t lsn, uint32_t count, uint8_t* out, Context& context, int64_t minLead);
    bool SeamsHold(int64_t lsn, uint32_t count, uint8_t* out, Context& context);
    void Remember(int64_t lsn, uint32_t count, const uint8_t* out);
    bool ReadRaw(int64_t first, int64_t sectors, uint8_t* out) override;
    int64_t StreamFloor(int64_t lsn) const;
    void MarkDelivered(int64_t first, long count, const uint8_t* bytes);
    static bool Silent(const uint8_t* sector);
    bool Delivered(int64_t sector) const;
    bool RepairTail(uint8_t* last, int64_t sector, Context& context);
    void NoteUnreadable(int64_t sector, int64_t badSector, ReadStats& stats) const;
    int64_t KnownBadBehind(int64_t from, int64_t need, int64_t limit) const;
    int64_t LastBadBehind(int64_t from, int64_t to) const;
    bool NoteBadBehind(int64_t sector);

    CdIo_t* cdio_ = nullptr;
    cdrom_drive_t* cdda_ = nullptr;
    cdrom_paranoia_t* paranoia_ = nullptr;
    long (*driveRead_)(cdrom_drive_t*, void*, lsn_t, long) = nullptr;
    std::vector<AudioRange> ranges_;
    int64_t nextLsn_ = -1;  // where paranoia's cursor stands
    bool stale_ = false;    // paranoia's data cannot be trusted: make it anew
    bool gone_ = false;
    int64_t deferredBad_ = -1;  // the first sector taken as silence past a fence
    struct BadBehind {
        int64_t sector;
        int failures;
    };
    std::vector<BadBehind> behindBad_;  // sectors that failed before a request's first one
    std::vector<bool> reread_;          // sectors counted in sectorsReread, once a disc
    std::vector<bool> delivered_;       // sectors the drive gave at least once in this stream
    std::vector<bool> heard_;           // sectors a read found sound in the middle of (once a disc)
    int64_t lastFixup_ = -1;            // the last sector where paranoia fixed jitter or drift
    std::vector<uint8_t> tailRead_;     // one sector, for RepairTail
    std::vector<uint8_t> history_;      // the last sectors delivered, up to historyEnd_
    int64_t historySectors_ = 0;
    int64_t historyEnd_ = -1;
    std::vector<uint8_t> seamView_;  // the history and a request, for SeamsHold
    std::vector<uint8_t> seamRead_;  // one read spanning a silence
};

}  // namespace akrip
