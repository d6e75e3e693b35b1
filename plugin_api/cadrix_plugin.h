/* The contract between Cadrix and an encoder plug-in (cadrix_wma, cadrix_ogg,
 * cadrix_flac).
 * A plug-in is a shared module that exports OpenOutput, WriteOutput and
 * CloseOutput with C linkage, and may export SetTrackExtras,
 * OutputErrorText and RetagOutput, which a host binds only when present. Everything
 * crossing here is plain C: no exceptions, no C++ types. */
#ifndef CADRIX_PLUGIN_H
#define CADRIX_PLUGIN_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Track information handed to OpenOutput. Texts are NUL-terminated 8-bit
 * strings owned by the host and valid during the OpenOutput call only; an
 * empty text means the value is missing. A plug-in treats a null record as
 * all-empty with track number 0, and a null text as empty. */
typedef struct OutputTrackInfo {
    int32_t trackNumber; /* 1-based number of the track on the disc */
    const char* title;
    const char* artist;
    const char* album;
    const char* genre;
    const char* year;
    const char* region;
    const char* comment;
} OutputTrackInfo;

/* More of what the host knows about the track, for tag formats that can
 * hold it. `size` is sizeof(OutputTrackExtras) in the host's build, so the
 * record may grow at its end; a plug-in reads only the fields that fit. */
typedef struct OutputTrackExtras {
    uint32_t size;
    int32_t trackTotal;      /* number of the disc's audio tracks; 0 unknown */
    int32_t discNumber;      /* number of the disc within a set; 0 when not in a set */
    int32_t compilation;     /* nonzero: the tracks have artists of their own */
    const char* albumArtist; /* the disc's artist; empty when missing */
    const char* isrc;        /* the track's ISRC from the disc, 12 characters; empty when none */
    const char* catalog;     /* the disc's media catalog number (its UPC/EAN barcode), 13 digits; empty when none */
    int32_t preEmphasis;     /* nonzero: the track's audio is pre-emphasised, kept as on the disc */
    /* MusicBrainz identifiers (lower-case UUIDs, several separated by one
     * blank) and the release's barcode (digits); null or empty when unknown. */
    const char* musicBrainzReleaseId;
    const char* musicBrainzReleaseGroupId;
    const char* musicBrainzAlbumArtistIds;
    const char* musicBrainzRecordingId;
    const char* musicBrainzTrackId; /* the track of the release's medium */
    const char* musicBrainzArtistIds;
    const char* musicBrainzDiscId;
    const char* barcode;
    /* The front cover to embed: the bytes of a JPEG or PNG file, valid like
     * the texts; null with pictureBytes 0 when there is none. */
    const uint8_t* picture;
    uint32_t pictureBytes;
    int32_t pictureWidth; /* pixels */
    int32_t pictureHeight;
    const char* pictureMime; /* "image/jpeg" or "image/png" */
} OutputTrackExtras;

/* Quality code bits understood by cadrix_wma; cadrix_ogg takes its slider
 * position 0..110 unchanged. */
#define QUALITY_LEVEL_MASK 0x0F
#define QUALITY_VBR_FLAG 0x40
#define QUALITY_LOSSLESS_FLAG 0x80

/* baseName: full path of the output without extension; the folder exists.
 * Returns 1 when the output is open and ready for samples, 0 on failure. */
typedef int32_t (*OpenOutputProc)(const char* baseName, int32_t qualityCode, const OutputTrackInfo* info);
/* pcm: byteCount bytes of 44.1 kHz 16-bit stereo little-endian PCM, at most
 * 63,504 bytes, read by the plug-in during the call only. 1 = accepted. */
typedef int32_t (*WriteOutputProc)(const uint8_t* pcm, uint32_t byteCount);
/* Finishes the file and releases everything of the current output. */
typedef void (*CloseOutputProc)(void);
/* Optional. Called by the host right before OpenOutput with the extras of
 * the track being opened; they apply to that OpenOutput only. The record
 * and its text are the host's and valid until that OpenOutput returns. */
typedef void (*SetTrackExtrasProc)(const OutputTrackExtras* extras);
/* Optional. Why the last OpenOutput or WriteOutput failed, as a short
 * NUL-terminated UTF-8 text ("" when it did not fail). The text belongs to
 * the plug-in and stays valid until its next call. Never null. */
typedef const char* (*OutputErrorTextProc)(void);

/* One tag for RetagOutput: a field name as the file format's taggers spell
 * it for Vorbis comments ("REPLAYGAIN_TRACK_GAIN") and its UTF-8 value. */
typedef struct OutputTag {
    const char* name;
    const char* value;
} OutputTag;
/* Optional. Sets `count` tags in `fileName`, a finished file this plug-in
 * wrote (the path with its extension): a tag of the same name is replaced,
 * others are added, everything else stays. The file is replaced as a whole
 * (a new file beside it takes its name), so a reader sees the old file or
 * the new one, never a mixture. 1 when done; 0 leaves the file as it was.
 * Not called while an output is open. */
typedef int32_t (*RetagOutputProc)(const char* fileName, const OutputTag* tags, int32_t count);

#if defined(CADRIX_PLUGIN_IMPLEMENTATION)
#define CADRIX_PLUGIN_EXPORT __attribute__((visibility("default")))
CADRIX_PLUGIN_EXPORT int32_t OpenOutput(const char* baseName, int32_t qualityCode, const OutputTrackInfo* info);
CADRIX_PLUGIN_EXPORT int32_t WriteOutput(const uint8_t* pcm, uint32_t byteCount);
CADRIX_PLUGIN_EXPORT void CloseOutput(void);
CADRIX_PLUGIN_EXPORT void SetTrackExtras(const OutputTrackExtras* extras);
CADRIX_PLUGIN_EXPORT const char* OutputErrorText(void);
CADRIX_PLUGIN_EXPORT int32_t RetagOutput(const char* fileName, const OutputTag* tags, int32_t count);
#endif

#ifdef __cplusplus
} /* extern "C" */

static_assert(offsetof(OutputTrackInfo, title) == sizeof(void*));
static_assert(sizeof(OutputTrackInfo) == 8 * sizeof(void*));
#endif

#endif
