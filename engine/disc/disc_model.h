// What Cadrix knows about each drive and the disc in it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "akrip_records.h"
#include "cd_geometry.h"
#include "disc/disc_layout.h"

namespace cadrix {

constexpr int MAX_DRIVES = 8;
constexpr int TRACK_SLOTS = 100;  // slot t is track t; slot 0 the hidden track one audio

// MusicBrainz's identifiers of a release and of its tracks: lower-case
// UUIDs, several separated by one blank; the barcode as digits. Empty when
// unknown.
struct ReleaseIds {
    std::string release;
    std::string releaseGroup;
    std::string artists;  // of the release's artist credit
    std::string barcode;
};
struct TrackIds {
    std::string recording;
    std::string track;    // the track of the release's medium
    std::string artists;  // of the track's artist credit
};

// Texts are byte strings in the system code page; empty means missing.
// Slot 0 is the audio hidden before track 1 when the disc has some.
struct TrackRecord {
    std::string artist;
    std::string title;
    std::string comment;
    uint32_t lengthMs = 0;
    int32_t selected = 0;
    int32_t isData = 0;
    TrackIds ids{};
};

struct DriveRecord {
    HCDROM handle = 0;
    TocBuffer toc{};
    std::string name;
    uint32_t discId = 0;
    std::string discArtist;
    std::string discTitle;  // with " (n)" appended for a disc of a numbered set
    std::string genre;
    std::string year;
    std::string region;
    int32_t compilation = 0;
    int32_t setNumber = 0;  // number of the disc within its set; 0 when not in a set
    int32_t trackCount = 0;
    std::array<TrackRecord, TRACK_SLOTS> tracks{};
    DiscLayout layout{};  // pregaps, index points, codes and hidden audio
    ReleaseIds ids{};
};

// One row of the track list as the list shows it.
struct TrackRow {
    std::string number;    // track number in decimal
    std::string title;     // at most 255 bytes
    std::string duration;  // FormatDuration of the track's length
    bool checked = false;
    int32_t itemData = 0;  // the track number
};

struct TrackListing {
    std::vector<TrackRow> rows;
    std::string caption;
};

// Rows and caption for one drive's record: one row per audio track in
// track order, the title cut to 255 bytes, and the disc caption (empty when
// there are no rows).
TrackListing FillTrackList(const DriveRecord& record);

constexpr size_t MAX_TITLE_BYTES = 255;
// What names the hidden track one audio (track 0) when it has no title.
inline constexpr const char* HIDDEN_TRACK_TITLE = "Hidden Track";

// Empties the texts a disc database file gives (disc and track names,
// genre, year, region, compilation and set number); the TOC, lengths and
// selection stay.
void ClearNames(DriveRecord& record);

// Empties everything ReadDisc refills: TOC, disc id, texts, counts and all
// 100 slots. `handle` and `name` stay.
void ClearDisc(DriveRecord& record);

// True when `toc` can be a real disc's: the last track is 1..99 and the
// start addresses strictly increase from track 1 up to the lead-out. Any
// other TOC with tracks is damaged and treated as no disc.
bool IsTocUsable(const TocBuffer& toc);

// Sets trackCount and each track's length, isData and selected from
// record.toc, which IsTocUsable accepted.
void ApplyToc(DriveRecord& record);

// Lead-out, lead-in and pregap between the sessions of a multi-session disc
// (an Enhanced CD's audio session and its data session).

// The audio track right before a later session ends where its session's
// audio ends, not at the next session's first track: its length leaves out
// the gap between the sessions. `sessions[k]` is the session of track k + 1
// (empty when unknown: one session).
void ApplySessions(DriveRecord& record, std::span<const uint8_t> sessions);

// Milliseconds of `frames` CD frames (75 per second), truncated; saturates
// at the largest 32-bit value.
uint32_t FramesToMs(uint32_t frames);

// "M:SS" under an hour, "1:MM:SS" up to two hours, "H:MM:SS" beyond.
std::string FormatDuration(uint32_t ms);

}  // namespace cadrix
