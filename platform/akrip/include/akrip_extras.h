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
    uint32_t sectorsReread;                             // sectors read again after a failed read
    uint32_t corrections;                               // jitter, drift and scratch fixes of secure reading
    uint32_t unreadableCount;                           // sectors that could not be read
    uint32_t unreadable[AKRIP_STATS_UNREADABLE_SLOTS];  // the first of them (LBAs)
    uint32_t failure;                                   // AKRIP_FAILURE_*: why the first failed read failed
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
// Track 0 is the audio before track 1's INDEX 01 on a disc whose track 1
// starts past LSN 0 (hidden track one audio, or a silent pregap).
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

// "AkripGetTrackSessions": the session of each track of the TOC that ReadTOC
// last returned on `handle` (1 on a single-session disc; an Enhanced CD's
// data track is in session 2, after the lead-out, lead-in and pregap that
// separate the sessions): sessions[k] for track k + 1, for at most `count`
// tracks. Returns the number of tracks filled; 0 for an unknown handle, no
// disc, or a null `sessions`. Does not wait for a read in progress.
typedef int32_t (*AkripGetTrackSessionsProc)(HCDROM handle, uint8_t* sessions, int32_t count);

// How AkripGetDiscLayout learnt where the index points lie.
enum {
    AKRIP_LAYOUT_TOC = 0,        // the TOC alone: no pregaps, index points or codes known
    AKRIP_LAYOUT_SHEET = 1,      // the disc image's sheet
    AKRIP_LAYOUT_SUBCHANNEL = 2  // the Q sub-channel read from the disc
};
enum { AKRIP_LAYOUT_MAX_INDEXES = 16 };

// One track as the sub-channel lays it out; LSNs as in the TOC.
typedef struct AkripTrackLayout {
    int32_t index0;      // where the track's pregap (INDEX 00) begins; index1 when it has none
    int32_t index1;      // INDEX 01, the track's start in the TOC
    int32_t indexCount;  // how many of `indexes` hold INDEX 02, 03, ... in that order
    int32_t indexes[AKRIP_LAYOUT_MAX_INDEXES];
    uint8_t control;  // 0x01 pre-emphasis, 0x02 copy permitted, 0x04 data, 0x08 four channels
    char isrc[13];    // 12 characters and a NUL; empty: none
    uint8_t reserved[2];
} AkripTrackLayout;

typedef struct AkripDiscLayout {
    uint32_t source;     // AKRIP_LAYOUT_*
    int32_t trackCount;  // tracks filled, track 1 first
    int32_t leadOut;
    char mcn[14];  // 13 digits and a NUL; empty: none
    uint8_t reserved[2];
    AkripTrackLayout tracks[99];
} AkripDiscLayout;

// "AkripGetDiscLayout": where each track's INDEX 00, 01 and further index
// points lie, its ISRC and control bits, and the disc's media catalog number,
// for the disc whose TOC ReadTOC last returned on `handle`. An image gives
// them from its sheet; a real drive from the Q sub-channel, by a few reads
// around each track boundary (a search, not a pass over the disc), and its
// codes by READ SUB-CHANNEL. A drive whose Q cannot be read gives the TOC
// alone (source AKRIP_LAYOUT_TOC). Asked once a disc, then kept; may read the
// drive and waits for a read in progress. 1 on success; 0 for an unknown
// handle, no disc or a null `layout` (zeroed then).
typedef int32_t (*AkripGetDiscLayoutProc)(HCDROM handle, AkripDiscLayout* layout);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif
