// Optional entry points of akrip.so beside the seven of akrip_records.h.
// A program binds each one by name when the library has it and does without
// it otherwise; none of them changes what the seven do.
//
// Ownership: every record is the caller's; the library reads or writes it
// only during the call and keeps no pointer to it. Every call may come from
// any thread; AkripTakeReadStats, AkripSetReadOffset, AkripSetReadMode and
// AkripGetDriveInfo wait for a ReadCDAudioLBAEx call running on the same
// handle.
#ifndef CADRIX_AKRIP_EXTRAS_H
#define CADRIX_AKRIP_EXTRAS_H

#include <stdint.h>

#include "akrip_records.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { AKRIP_STATS_UNREADABLE_SLOTS = 16 };

// Why a read failed (AkripReadStats.failure).
enum {
    AKRIP_FAILURE_NONE = 0,
    AKRIP_FAILURE_UNREADABLE = 1,  // a sector could not be read or verified
    AKRIP_FAILURE_NO_DISC = 2      // the disc was taken out or changed, or the drive is not ready
};

// What the reads on one handle had to fix since the last AkripTakeReadStats.
typedef struct AkripReadStats {
    uint32_t sectorsReread;    // sectors read again after a failed read
    uint32_t corrections;      // jitter, drift and scratch fixes of secure reading
    uint32_t unreadableCount;  // sectors that could not be read
    uint32_t unreadable[AKRIP_STATS_UNREADABLE_SLOTS];  // the first of them (LBAs)
    uint32_t failure;          // AKRIP_FAILURE_*: why the first failed read failed
} AkripReadStats;

// "AkripSetReadAbort": with abort != 0, reads on `handle` fail at once and a
// read in progress returns 0 within about half a second, whatever the drive
// is doing; with 0 they work again. 1 on success, 0 for an unknown handle.
typedef int32_t (*AkripSetReadAbortProc)(HCDROM handle, int32_t abort);

// "AkripTakeReadStats": fills *stats with what the reads on `handle` had to
// fix since the last call (or the handle's opening) and starts counting
// anew; waits for a read in progress on the handle. 1 on success, 0 for an
// unknown handle or a null `stats`.
typedef int32_t (*AkripTakeReadStatsProc)(HCDROM handle, AkripReadStats* stats);

// "AkripSetReadOffset": the drive's read offset in samples (positive: its
// audio comes that many samples early, as drive offset tables give it); the
// reads that follow return what an offset-0 drive returns, with silence for
// samples beyond the readable audio. A physical drive starts with
// $CADRIX_READ_OFFSET (0 when unset). 1 on success, 0 for an unknown handle.
typedef int32_t (*AkripSetReadOffsetProc)(HCDROM handle, int32_t samples);

// "AkripGetCdText": the CD-Text of the disc whose TOC ReadTOC last returned
// on `handle`, as UTF-8 lines "<FIELD> <track>=<text>\n" (FIELD TITLE,
// PERFORMER or SONGWRITER; track 0 is the disc; texts without line breaks),
// written with a terminating NUL into the caller's `buffer` of `capacity`
// bytes. Returns the length written, 0 when the disc has no CD-Text (or
// there is no disc or handle), or -(length + 1) when `capacity` is too
// small, with nothing written.
typedef int32_t (*AkripGetCdTextProc)(HCDROM handle, char* buffer, int32_t capacity);

// Read modes of AkripSetReadMode.
enum { AKRIP_READ_SECURE = 0, AKRIP_READ_BURST = 1 };

// "AkripSetReadMode": how the reads on `handle` that follow read a real
// drive. AKRIP_READ_SECURE (a handle's first mode) verifies every sector
// against overlapping reads; AKRIP_READ_BURST reads each block once at the
// drive's full speed and checks nothing, so a caller verifies what it gets
// (a block that fails to read fails the call at once). An image reads alike
// in both. Waits for a read in progress on the handle. 1 on success, 0 for
// an unknown handle or mode.
typedef int32_t (*AkripSetReadModeProc)(HCDROM handle, int32_t mode);

// AkripDriveInfo.flags: the drive is a folder holding a disc image, which
// reads exactly (its read offset is 0).
enum { AKRIP_DRIVE_VIRTUAL = 1 };

// Who made the drive, as its INQUIRY data says: NUL-terminated, trailing
// blanks removed.
typedef struct AkripDriveInfo {
    char vendor[9];
    char model[17];
    char revision[5];
    uint32_t flags;
} AkripDriveInfo;

// "AkripGetDriveInfo": fills *info for the drive of `handle` (a real drive is
// asked once, then its answer is kept). 1 on success; 0 for an unknown handle,
// a null `info`, or a drive that does not answer (*info is then zeroed).
typedef int32_t (*AkripGetDriveInfoProc)(HCDROM handle, AkripDriveInfo* info);

// "AkripGetTrackRange": the audio of track `track` (1..99) of the disc in
// the drive of `handle`, as the library reads it: *first is the track's
// INDEX 01 and *end one past its last audio sector. A track runs to the next
// track's start (its pregap is the end of the track before); the audio
// before a data track of the same session ends where that track's pregap
// begins, and the audio of a session ends before the gap to the next one.
// May read the drive (a pregap's length) and waits for a read in progress.
// 1 on success; 0 for an unknown handle, a null pointer, a data track or a
// track the disc does not have.
typedef int32_t (*AkripGetTrackRangeProc)(HCDROM handle, int32_t track, int32_t* first, int32_t* end);

// "AkripSetReadAhead": the ReadCDAudioLBAEx calls that follow on `handle`
// ask for the audio in order up to `end` (one past the last LBA; 0: only
// the track being read), so the library may read on up to there and keep
// one verifying stream across the tracks. 1 on success, 0 for an unknown
// handle.
typedef int32_t (*AkripSetReadAheadProc)(HCDROM handle, int32_t end);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif
