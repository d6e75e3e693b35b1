// Deterministic CUE/BIN disc images for tests, benchmarks and the demo disc.
// A DiscDescription lists the tracks; WriteDiscImage writes the CUE sheet and
// its data files, and the Expected* functions give what a drive should report
// for that image (TOC as logical block addresses, PCM of every track), so
// tests can compare bit for bit without reading the image back themselves.
#ifndef CADRIX_DISCGEN_DISC_GENERATOR_H
#define CADRIX_DISCGEN_DISC_GENERATOR_H

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "cd_geometry.h"

namespace cadrix::discgen {

inline constexpr uint32_t kFrameBytes = cadrix::cd::kFrameBytes;
inline constexpr uint32_t kFramesPerSecond = cadrix::cd::kFramesPerSecond;
// Between the lead-out of an Enhanced CD's first session and its data track
// (lead-out 6750 + lead-in 4500 + pregap 150 frames).
inline constexpr uint32_t kSessionGapFrames = cadrix::cd::kSessionGapFrames;
// The shortest pregap of a data track that follows audio (two seconds).
inline constexpr uint32_t kDataPregapFrames = cadrix::cd::kLeadInFrames;

enum class TrackMode {
    Audio,
    Mode1Raw,     // MODE1/2352: sync, header, 2048 bytes of user data, EDC
    Mode1Cooked,  // MODE1/2048: user data only
    Mode2Raw,     // MODE2/2352: sync, header, 2336 bytes of user data
};

// How audio tracks are stored.
enum class AudioFileType {
    Binary,    // raw little-endian PCM ("BINARY")
    Motorola,  // raw big-endian PCM ("MOTOROLA")
    Wave,      // one RIFF WAVE file per track ("WAVE")
};

struct TrackDescription {
    uint32_t frames = 0;  // from INDEX 01 to the end of the track's own material
    TrackMode mode = TrackMode::Audio;
    uint32_t indexZeroFrames = 0;  // pregap stored in the file before INDEX 01 (INDEX 00)
    uint32_t pregapFrames = 0;     // PREGAP: silence that is in no file
    int session = 1;               // 1, or 2 for the data session of an Enhanced CD
    // What the sub-channel and CD-Text say of the track (an audio track's).
    std::string isrc{};         // 12 characters, e.g. "DEA123400001"; empty: none
    uint32_t index2Frames = 0;  // INDEX 02 this many frames after INDEX 01; 0: none
    bool preEmphasis = false;   // FLAGS PRE
    std::string title{};        // CD-Text
    std::string performer{};
};

struct DiscDescription {
    std::vector<TrackDescription> tracks;
    AudioFileType audioFiles = AudioFileType::Binary;
    bool filePerTrack = false;  // one FILE per track (always so for WAVE)
    uint64_t seed = 1;          // the audio and data content depend on it only
    std::string mcn{};          // CATALOG: 13 digits; empty: none
    std::string title{};        // CD-Text of the disc
    std::string performer{};
};

// What a drive reports for the image, addresses counted from the start of the
// program area (track 1 of a normal disc starts at 0).
struct ExpectedToc {
    std::vector<uint32_t> trackStarts;  // INDEX 01 of each track
    std::vector<bool> dataTracks;
    uint32_t leadout = 0;   // end of the last track
    uint32_t audioEnd = 0;  // end of the last audio frame that can be read
    uint32_t cddbId = 0;
};

// True when the description can be written: 1..99 tracks, every track at
// least one frame long, sessions 1 then 2 with a data track opening session 2
// and no pregap fields on it (the session gap holds its pregap), and at most
// 99 minutes of program area counting the gap. `why` gets the reason if not.
bool IsValidDescription(const DiscDescription& disc, std::string* why = nullptr);

// Writes <folder>/<baseName>.cue and the files it names (created or replaced;
// the folder is created if missing). An existing sheet of that name is removed
// first, the data files are written next and the CUE sheet last, each through
// a temporary name, so a folder never holds a CUE sheet whose files are
// incomplete. False on an invalid description or a write error (message in
// `error`).
bool WriteDiscImage(const DiscDescription& disc, const std::filesystem::path& folder, std::string_view baseName,
                    std::string* error = nullptr);

// The TOC of the image; empty trackStarts for an invalid description.
ExpectedToc ExpectedTocOf(const DiscDescription& disc);

// The audio of track `trackNumber` (1-based) as a drive returns it: 16-bit
// little-endian stereo from the track's start to the next track's start (or
// the lead-out), including the INDEX 00 or PREGAP frames of a following audio
// track. It stops early where the readable audio ends, before a data track's
// pregap (at least the two seconds before its start) or the session gap.
// Empty for a data track or a bad number.
std::vector<uint8_t> ExpectedTrackPcm(const DiscDescription& disc, int trackNumber);

// The audio frames [lba, lba + frames) as a drive returns them; frames that are
// not audio (data sectors, the session gap, past the lead-out) are left zero.
std::vector<uint8_t> ExpectedAudioRange(const DiscDescription& disc, uint32_t lba, uint32_t frames);

// The CUE sheet text WriteDiscImage writes, for tests of the parsers.
std::string CueSheetText(const DiscDescription& disc, std::string_view baseName);

// A disc of `trackCount` audio tracks sharing `totalFrames` (the last track
// takes the remainder), e.g. 333000 frames for a 74-minute disc.
DiscDescription EvenDisc(uint32_t totalFrames, int trackCount, uint64_t seed = 1);

// An audio disc of one track per entry of `frames` (its length in frames).
DiscDescription AudioDisc(const std::vector<uint32_t>& frames, uint64_t seed = 1);

}  // namespace cadrix::discgen

#endif
