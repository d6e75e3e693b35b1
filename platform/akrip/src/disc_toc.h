// The table of contents of the disc in a drive, as this library keeps it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace akrip {

// CD-Text of the disc or of one track, UTF-8; empty texts are missing.
struct CdTextEntry {
    std::string title;
    std::string performer;
    std::string songwriter;
    bool Empty() const { return title.empty() && performer.empty() && songwriter.empty(); }
};

// An index point after INDEX 01: its number and the LSN where it starts.
struct TocIndex {
    int number = 2;
    int32_t lsn = 0;
    bool operator==(const TocIndex&) const = default;
};

struct TocTrack {
    int32_t start = 0;    // LSN of INDEX 01: 0 is the start of the program area
    uint8_t control = 0;  // 0x04 data, 0x02 copy permitted, 0x01 pre-emphasis
    uint8_t session = 1;
    // LSN of INDEX 00 when it is known (an image's sheet gives it); -1: not known.
    int32_t index0 = -1;
    // INDEX 02 and on, as an image's sheet gives them (a drive's TOC does not).
    std::vector<TocIndex> indexes{};
    std::string isrc{};  // 12 characters as the sub-channel carries them; empty: none
    bool IsAudio() const { return (control & 0x04) == 0; }
    int32_t PregapStart() const { return index0 >= 0 && index0 <= start ? index0 : start; }
};

struct DiscToc {
    std::vector<TocTrack> tracks;  // track 1 first; empty: no disc
    int32_t leadOut = 0;           // LSN one past the last sector
    std::string mcn{};             // media catalog number, 13 digits; empty: none
    // The disc type of the full TOC (point A0): 0x00 CD-DA or CD-ROM, 0x10
    // CD-i, 0x20 CD-ROM XA.
    uint8_t discType = 0;
    CdTextEntry discText;
    std::vector<CdTextEntry> trackTexts;  // by track, as far as known
    bool Empty() const { return tracks.empty(); }
    bool HasCdText() const {
        if (!discText.Empty()) return true;
        for (const CdTextEntry& text : trackTexts) {
            if (!text.Empty()) return true;
        }
        return false;
    }
};

}  // namespace akrip
