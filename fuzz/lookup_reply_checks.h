// What every release found in a reply must give, whatever the reply held: a
// disc file of clean lines that names no track beyond the disc.
#pragma once

#include <cstdlib>
#include <string>

#include "names/disc_database.h"
#include "names/disc_names.h"
#include "names/name_limits.h"
#include "names/name_source.h"

namespace cadrix::fuzz {

// A disc of three audio tracks, as the recorded replies describe.
inline DiscQuery ThreeTrackDisc() {
    DiscQuery disc;
    disc.discId = 0x0a0b0c03;
    disc.trackCount = 3;
    disc.toc.lastTrack = 3;
    const uint32_t starts[] = {0, 1500, 3000, 5000};
    for (int k = 0; k < 4; ++k) SetTocAddress(disc.toc.entries[k], starts[k]);
    return disc;
}

inline void CheckRelease(const ReleaseCandidate& release, int32_t trackCount) {
    const std::string text = DiscFileText(release.names, trackCount, release.source);
    for (char c : text) {
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7F) std::abort();
    }
    DriveRecord record;
    ParseDiscDatabase(text, record);
    for (int32_t t = trackCount + 1; t < TRACK_SLOTS; ++t) {
        if (!record.tracks[static_cast<size_t>(t)].title.empty()) std::abort();
    }
    if (record.discTitle.size() > MAX_NAME_BYTES + 5 || record.discArtist.size() > MAX_NAME_BYTES) std::abort();
    // Whatever a service says, the disc's folder name leaves room for a base folder.
    const std::string folder = record.discArtist.empty() ? record.discTitle
                                                         : record.discArtist + " - " + record.discTitle;
    if (folder.size() > MAX_SAVED_FOLDER_NAME) std::abort();
}

}  // namespace cadrix::fuzz
