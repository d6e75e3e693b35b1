// What a lookup or a checksum database is asked about a disc: a copy of its
// TOC that a worker thread may use while the drive's record is read again.
#pragma once

#include <cstdint>
#include <string>

#include "akrip_records.h"
#include "disc/disc_model.h"

namespace cadrix {

// A disc as ReadDisc found it: a copy, so a worker thread may use it while
// the record is read again.
struct DiscQuery {
    uint32_t discId = 0;     // CDDB id of the whole TOC; names the disc's file
    TocBuffer toc{};         // lead-out entry included
    int32_t trackCount = 0;  // 1..99 for a usable query
    std::string cdText;      // the disc's CD-Text lines, when the drive gave any

    bool IsData(int32_t track) const;
    // The start frame of track 1..trackCount, or the lead-out for trackCount + 1.
    uint32_t Start(int32_t track) const;
    int32_t AudioTrackCount() const;
    // The first and last audio track; 0 when the disc has none.
    int32_t FirstAudioTrack() const;
    int32_t LastAudioTrack() const;
    // Where the disc's audio ends: the lead-out, or for an Enhanced CD the
    // start of its data session less the gap between sessions. 0 without audio.
    uint32_t AudioEnd() const;
};

// The query for a record that ReadDisc filled; trackCount 0 when the record
// has no disc.
DiscQuery MakeDiscQuery(const DriveRecord& record);

}  // namespace cadrix
