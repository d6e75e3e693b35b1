// The files of an AccurateRip stand-in for a disc image: its database file
// (accuraterip/a/b/c/dBAR-....bin, made from the image's own audio) and a
// drive offset list (accuraterip/DriveOffsets.bin), laid out under a folder
// that any static HTTP server then serves as CADRIX_ACCURATERIP_SERVER.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "verify/accuraterip.h"

namespace cadrix::standin {

struct DiscFileOptions {
    int32_t wrongTrack = 0;  // this track's sums are off by one in every submission
    uint8_t v1Confidence = 3;
    uint8_t v2Confidence = 12;
};

// The ids and the v1/v2 sums of every track of the disc image `sheet`
// (TOC order; 0 for data tracks). False, with `error`, when it cannot be read.
bool ComputeDiscSums(const std::string& sheet, AccurateRipDiscId& id, std::vector<std::pair<uint32_t, uint32_t>>& sums,
                     std::string& error);

// Writes the database file of `sheet` under `root`: one submission of v1
// sums and one of v2 sums. `path` gets the file written.
bool WriteDiscFile(const std::string& sheet, const std::string& root, const DiscFileOptions& options, std::string& path,
                   std::string& error);

// Writes root/accuraterip/DriveOffsets.bin listing `drives` ("VENDOR MODEL"
// and offset) among a few others.
bool WriteDriveList(const std::string& root, const std::vector<std::pair<std::string, int32_t>>& drives,
                    std::string& error);

}  // namespace cadrix::standin
