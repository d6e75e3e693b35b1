// The table of contents of the disc in a drive, as this library keeps it.
#pragma once

#include <cstdint>
#include <vector>

namespace akrip {

struct TocTrack {
    int32_t start = 0;    // LSN of INDEX 01: 0 is the start of the program area
    uint8_t control = 0;  // 0x04 data, 0x02 copy permitted, 0x01 pre-emphasis
    uint8_t session = 1;
    bool IsAudio() const { return (control & 0x04) == 0; }
};

struct DiscToc {
    std::vector<TocTrack> tracks;  // track 1 first; empty: no disc
    int32_t leadOut = 0;           // LSN one past the last sector
    bool Empty() const { return tracks.empty(); }
};

}  // namespace akrip
