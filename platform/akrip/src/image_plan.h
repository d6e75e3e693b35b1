// The description of a disc image as its cue sheet or cdrdao TOC file states
// it, before any data file has been looked at: which files, which tracks,
// and which pieces of which file (or silence) make up each track.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cd_geometry.h"

namespace akrip {

inline constexpr uint32_t kAudioSectorBytes = cadrix::cd::kFrameBytes;
inline constexpr int32_t kFramesPerSecond = cadrix::cd::kFramesPerSecond;
inline constexpr int32_t kFramesPerMinute = 60 * kFramesPerSecond;
// Lead-out, lead-in and pregap between the sessions of a multi-session disc.
inline constexpr int32_t kSessionGapFrames = cadrix::cd::kSessionGapFrames;
// The MSF offset between the start of the lead-in area and LSN 0.
inline constexpr int32_t kMsfOffsetFrames = cadrix::cd::kLeadInFrames;
// A disc's addresses must fit 99:59:74 in MSF.
inline constexpr int32_t kMaxDiscFrames = 100 * kFramesPerMinute;
inline constexpr int kMaxTracks = 99;

// How the samples of a data file are stored.
enum class FileFormat : uint8_t {
    RawLittleEndian,   // CUE BINARY, cdrdao .wav payload after SWAP
    RawBigEndian,      // CUE MOTOROLA, cdrdao raw audio files
    WaveLittleEndian,  // RIFF WAVE: samples start at the "data" chunk
    WaveBigEndian      // RIFF WAVE whose samples are to be swapped (cdrdao SWAP)
};

// Which part of each 2352-byte sector a track's file holds.
enum class SectorFormat : uint8_t {
    Audio,       // 2352 bytes of samples
    Raw,         // the whole sector: sync, header and the rest (MODE1/2352, MODE2/2352)
    Mode1,       // the 2048 user bytes of Mode 1 sectors
    Mode2,       // the 2336 bytes after the header: formless Mode 2, or XA sub-header and data
    Mode2Form1,  // the 2048 user bytes of XA form 1 sectors
    Mode2Form2,  // the 2324 user bytes of XA form 2 sectors
    Mode0,       // the 2336 zero bytes after a Mode 0 header
};

// The full TOC's disc type (point A0).
inline constexpr uint8_t kDiscTypeCdda = 0x00;  // CD-DA or CD-ROM
inline constexpr uint8_t kDiscTypeCdi = 0x10;
inline constexpr uint8_t kDiscTypeXa = 0x20;

struct PlanFile {
    std::string name;  // as written in the sheet, relative to the sheet's folder
    FileFormat format = FileFormat::RawLittleEndian;
};

// The CD-Text a sheet gives the disc or a track (CUE TITLE / PERFORMER /
// SONGWRITER, cdrdao CD_TEXT), as its bytes stand in the sheet.
struct SheetText {
    std::string title;
    std::string performer;
    std::string songwriter;
    bool Empty() const { return title.empty() && performer.empty() && songwriter.empty(); }
};

// A run of bytes of one track: from a file, or generated silence.
struct PlanPiece {
    int file = -1;                   // index into ImagePlan::files; -1: silence
    uint64_t offset = 0;             // byte offset into the file's payload
    std::optional<uint64_t> length;  // bytes; none: up to the end of the payload
    bool swapBytes = false;          // cdrdao SWAP on this piece
};

// An index point after INDEX 01 (INDEX 02 and on): it lies `sectors`
// after the start of pieces[piece], as INDEX 01 does.
struct PlanIndex {
    int number = 2;
    size_t piece = 0;
    int64_t sectors = 0;
};

struct PlanTrack {
    bool audio = true;
    uint32_t sectorBytes = kAudioSectorBytes;  // bytes per sector in the pieces
    SectorFormat format = SectorFormat::Audio;
    uint8_t flags = 0;  // control bits other than "data"
    int session = 1;
    // INDEX 01 lies index1Sectors after the start of pieces[index1Piece];
    // everything before it is the track's pregap.
    size_t index1Piece = 0;
    int64_t index1Sectors = 0;
    std::vector<PlanIndex> indexes{};  // ascending
    std::vector<PlanPiece> pieces;
    SheetText text;
    std::string isrc{};  // validated, upper case; empty: none
};

struct ImagePlan {
    std::vector<PlanFile> files;
    std::vector<PlanTrack> tracks;
    SheetText discText;
    std::string mcn{};  // validated; empty: none
    uint8_t discType = kDiscTypeCdda;
};

// Parses "mm:ss:ff" (75 frames a second) into frames.
std::optional<int64_t> ParseMsf(std::string_view text);

// A media catalog number as the sub-channel carries it: 13 digits. Nothing
// for anything else.
std::optional<std::string> ParseMcn(std::string_view text);

// An ISRC as the sub-channel carries it: country and owner (5 letters or
// digits), year and serial number (7 digits); letters come back upper case.
std::optional<std::string> ParseIsrc(std::string_view text);

}  // namespace akrip
