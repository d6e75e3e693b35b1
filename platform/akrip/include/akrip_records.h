// Records and entry points exchanged between Cadrix and the CD extraction
// library akrip.so. Every record is a fixed byte layout without padding;
// multi-byte integers are little-endian unless stored as a byte array marked
// big-endian. Shared by the library and by the program that loads it.
#ifndef CADRIX_AKRIP_RECORDS_H
#define CADRIX_AKRIP_RECORDS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Opaque drive handle; 0 means "no handle".
typedef uint32_t HCDROM;

enum {
    AKRIP_MAX_DRIVES = 8,
    AKRIP_PRODUCT_ID_SIZE = 17,  // 16 characters and the NUL
    AKRIP_TOC_ENTRIES = 100,     // 99 tracks and the lead-out
    AKRIP_FRAME_BYTES = 2352,
    AKRIP_MAX_READ_FRAMES = 27,
    AKRIP_PARM_MSF = 36,            // ModifyCDParms: MSF addressing of ReadTOC
    AKRIP_TOC_CONTROL_DATA = 0x04,  // control nibble bit of a data track
    AKRIP_LEADOUT_TRACK = 0xAA
};

#pragma pack(push, 1)

typedef struct DriveListEntry {
    uint8_t hostAdapter;
    uint8_t target;
    uint8_t lun;
    uint8_t reserved1[75];
    char productId[AKRIP_PRODUCT_ID_SIZE];  // NUL-terminated, often blank-padded
    uint8_t reserved2[26];
} DriveListEntry;

typedef struct DriveListBuffer {
    uint8_t capacity;  // passed as 0
    uint8_t count;     // drives found, set by the library
    DriveListEntry entries[AKRIP_MAX_DRIVES];
} DriveListBuffer;

typedef struct HandleRequest {
    uint8_t size;     // 12
    uint8_t version;  // 1
    uint8_t hostAdapter;
    uint8_t target;
    uint8_t lun;
    uint8_t readType;  // 0: library's choice
    uint32_t jitterCorrection;
    uint8_t jitterFrames;
    uint8_t overlapFrames;
} HandleRequest;

typedef struct TocEntry {
    uint8_t reserved1;
    uint8_t adrControl;  // ADR high nibble, control low nibble
    uint8_t trackNumber;
    uint8_t reserved2;
    uint8_t address[4];  // big-endian: LBA, or 0/M/S/F while MSF is on
} TocEntry;

typedef struct TocBuffer {
    uint8_t length[2];  // big-endian, bytes following this field
    uint8_t firstTrack;
    uint8_t lastTrack;  // 0: no disc or no tracks
    TocEntry entries[AKRIP_TOC_ENTRIES];
} TocBuffer;

// Header of a read buffer; the data area of `capacity` bytes follows it
// directly in memory.
typedef struct ReadBuffer {
    uint32_t startFrame;
    uint32_t frameCount;
    uint32_t capacity;
    uint32_t validBytes;
    uint32_t status;
    int32_t dataOffset;  // where the valid bytes start in the data area
} ReadBuffer;

#pragma pack(pop)

/* The seven entry points, bound by name. None of them keeps a pointer it was
 * given past the call; none of them throws or ends the process. Calls on one
 * handle are serialised inside the library, so they may come from different
 * threads (a disc probe on the interface thread while the worker reads).
 *
 * GetCDList: looks for the drives again (real drives first, then the virtual
 *   drives of CADRIX_VIRTUAL_DRIVES) and fills the caller's zeroed `list`:
 *   `count` and the first `count` entries. `capacity` is not read. Returns
 *   the count.
 * GetCDHandle: a new handle on the listed drive whose host adapter, target
 *   and LUN the request names; 0 when there is none. The other request
 *   fields are not read. The handle stays valid until CloseCDHandle.
 * CloseCDHandle: releases `handle`; a call still running on it finishes
 *   first. 1 when the handle was open.
 * ModifyCDParms: parameter AKRIP_PARM_MSF switches the MSF addressing of
 *   ReadTOC on (value != 0, the initial state) or off for this handle. Other
 *   parameters are refused (0).
 * ReadTOC: looks at the drive again (a disc put in or taken out since the
 *   last call is seen) and fills the caller's `toc`, which the library
 *   zeroes first; `lastTrack` 0 means no disc. Addresses are LBAs (frame
 *   numbers, 0 = the start of the program area) unless MSF is on. A read
 *   that failed after a media change works again after this call. Returns 1
 *   when there is a disc.
 * ReadCDAudioLBAEx: reads `main->frameCount` (1..27, and no more than
 *   `capacity` holds) audio frames from `main->startFrame` into the data
 *   area after the header. On success (1) `frameCount` holds the frames
 *   read (fewer when the track's audio ends inside the request),
 *   `validBytes` their bytes and `dataOffset` 0: the audio is the data area
 *   from `dataOffset` on, 16-bit little-endian stereo. On failure (0)
 *   `validBytes` is 0. Only the header of `overlap` is used: its status
 *   word keeps the disc the run's first read found (the caller zeroes it
 *   when a run starts), so that a read after the disc changed fails instead
 *   of going on with another disc's audio. It may be null, which gives up
 *   that protection.
 * GetCDDBDiskID: the CDDB disc identifier of the TOC that ReadTOC last
 *   returned on this handle (so an id never describes another disc than that
 *   TOC). Fills as many of the caller's `wordCount` words as there are:
 *   ids[0] the identifier, ids[1] the track count, then each track's start
 *   in frames from the lead-in (LBA + 150), then the disc's length in whole
 *   seconds. Returns the identifier, 0 without a disc. */
typedef int32_t (*GetCDListProc)(DriveListBuffer* list);
typedef HCDROM (*GetCDHandleProc)(HandleRequest* request);
typedef int32_t (*CloseCDHandleProc)(HCDROM handle);
typedef int32_t (*ModifyCDParmsProc)(HCDROM handle, int32_t parameter, uint32_t value);
typedef int32_t (*ReadTOCProc)(HCDROM handle, TocBuffer* toc);
typedef int32_t (*ReadCDAudioLBAExProc)(HCDROM handle, ReadBuffer* main, ReadBuffer* overlap);
typedef uint32_t (*GetCDDBDiskIDProc)(HCDROM handle, uint32_t* ids, int32_t wordCount);

#ifdef __cplusplus
}  // extern "C"

static_assert(sizeof(DriveListEntry) == 121);
static_assert(offsetof(DriveListEntry, productId) == 78);
static_assert(sizeof(DriveListBuffer) == 970);
static_assert(offsetof(DriveListBuffer, entries) == 2);
static_assert(sizeof(HandleRequest) == 12);
static_assert(offsetof(HandleRequest, jitterCorrection) == 6);
static_assert(offsetof(HandleRequest, overlapFrames) == 11);
static_assert(sizeof(TocEntry) == 8);
static_assert(sizeof(TocBuffer) == 804);
static_assert(offsetof(TocBuffer, entries) == 4);
static_assert(sizeof(ReadBuffer) == 24);
static_assert(offsetof(ReadBuffer, dataOffset) == 20);

// The data area that follows a ReadBuffer header.
inline uint8_t* ReadBufferData(ReadBuffer* buffer) { return reinterpret_cast<uint8_t*>(buffer) + sizeof(ReadBuffer); }

inline uint32_t TocAddress(const TocEntry& entry) {
    return (uint32_t{entry.address[0]} << 24) | (uint32_t{entry.address[1]} << 16) | (uint32_t{entry.address[2]} << 8) |
           uint32_t{entry.address[3]};
}

inline void SetTocAddress(TocEntry& entry, uint32_t address) {
    entry.address[0] = static_cast<uint8_t>(address >> 24);
    entry.address[1] = static_cast<uint8_t>(address >> 16);
    entry.address[2] = static_cast<uint8_t>(address >> 8);
    entry.address[3] = static_cast<uint8_t>(address);
}
#endif

#endif
