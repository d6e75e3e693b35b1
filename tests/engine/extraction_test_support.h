// Helpers shared by the extraction test suites: a temporary folder, a disc
// record built from frame addresses, file reading and WAVE header fields.
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

#include "disc_model.h"

namespace cadrix::test {

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "cadrix-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// A drive record whose TOC has entries starting at `starts` (the last is the
// lead-out); tracks in `dataTracks` are data tracks, every other one is
// selected. Handle 0x100, as the fake akrip gives drive 0.
inline DriveRecord MakeDisc(std::initializer_list<uint32_t> starts,
                            std::initializer_list<int> dataTracks = {}) {
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

inline std::vector<uint8_t> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline uint32_t LE32(const std::vector<uint8_t>& bytes, size_t at) {
    return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
           uint32_t{bytes[at + 3]} << 24;
}

// True when `bytes` is a WAVE file whose header announces exactly the bytes
// that follow it.
inline bool IsConsistentWave(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < 44) return false;
    const uint32_t data = static_cast<uint32_t>(bytes.size() - 44);
    return std::memcmp(bytes.data(), "RIFF", 4) == 0 && LE32(bytes, 4) == data + 36 &&
           std::memcmp(bytes.data() + 36, "data", 4) == 0 && LE32(bytes, 40) == data;
}

}  // namespace cadrix::test
