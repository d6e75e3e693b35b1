// Helpers shared by the extraction test suites: a disc record built from
// frame addresses (temporary folders and file helpers come from tests/support).
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "disc/disc_model.h"
#include "file_bytes.h"
#include "temp_dir.h"

namespace cadrix::test {

using TempFolder = TempDir;

// A drive record whose TOC has entries starting at `starts` (the last is the
// lead-out); tracks in `dataTracks` are data tracks, every other one is
// selected. Handle 0x100, as the fake akrip gives drive 0.
inline DriveRecord MakeDisc(std::initializer_list<uint32_t> starts, std::initializer_list<int> dataTracks = {}) {
    DriveRecord drive;
    drive.handle = 0x100;
    const int last = static_cast<int>(starts.size()) - 1;
    drive.toc.firstTrack = 1;
    drive.toc.lastTrack = static_cast<uint8_t>(last);
    int k = 0;
    for (uint32_t start : starts) {
        TocEntry& entry = drive.toc.entries[k];
        entry.adrControl = 0x10;
        for (int t : dataTracks) {
            if (t == k + 1) entry.adrControl = 0x14;
        }
        SetTocAddress(entry, start);
        ++k;
    }
    drive.trackCount = last;
    for (int t = 1; t <= last; ++t) {
        const bool data = (drive.toc.entries[t - 1].adrControl & 0x04) != 0;
        drive.tracks[static_cast<size_t>(t)].isData = data ? 1 : 0;
        drive.tracks[static_cast<size_t>(t)].selected = data ? 0 : 1;
    }
    return drive;
}

}  // namespace cadrix::test
