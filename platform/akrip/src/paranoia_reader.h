// Secure reads of audio sectors through libcdio-paranoia: every sector is
// verified against overlapping reads; a sector paranoia cannot verify within
// its retries fails the read instead of being skipped or filled in silently.
// What had to be fixed is counted, and a read can be aborted in between.
#pragma once

#include <cdio/cdio.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "read_stats.h"

namespace akrip {

class ParanoiaReader {
public:
    // Opens the cdda and paranoia objects over `cdio` (not owned, outlives
    // this object). `audioEnd` is one past the last readable audio sector.
    ParanoiaReader(CdIo_t* cdio, int64_t audioEnd, int testFlags);
    ~ParanoiaReader();
    ParanoiaReader(const ParanoiaReader&) = delete;
    ParanoiaReader& operator=(const ParanoiaReader&) = delete;

    bool Valid() const { return paranoia_ != nullptr; }
    // Reads the readable sectors [lsn, lsn + count) into `out`. False when
    // one cannot be verified (it is added to stats.unreadable) or `abort` or
    // `cancel` was set; within half a second of that at any drive speed.
    bool Read(int64_t lsn, uint32_t count, uint8_t* out, const std::atomic<bool>& abort,
              const std::atomic<bool>& cancel, ReadStats& stats);

private:
    static long AbortableRead(cdrom_drive_t* drive, void* buffer, lsn_t begin, long sectors);
    static void Progress(long position, paranoia_cb_mode_t mode);

    cdrom_drive_t* cdda_ = nullptr;
    cdrom_paranoia_t* paranoia_ = nullptr;
    long (*driveRead_)(cdrom_drive_t*, void*, lsn_t, long) = nullptr;
    int64_t nextLsn_ = -1;            // where paranoia's cursor stands
    bool stale_ = false;              // paranoia ran while stopped: make it anew
    std::vector<bool> reread_;        // sectors counted in sectorsReread, once a disc
};

}  // namespace akrip
