// Finding a drive's read offset from a disc AccurateRip knows: a track is
// read as the drive returns it (no offset correction, securely) with some
// samples either side, and the shift at which its sum is one AccurateRip
// has is the drive's offset.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "verify/accuraterip_lookup.h"

namespace cadrix {

class DriveSet;

inline constexpr int32_t OFFSET_SEARCH_RANGE = 2000;  // samples either way

struct OffsetSearch {
    bool found = false;
    int32_t offset = 0;
    int32_t track = 0;        // the track that showed it
    uint32_t confidence = 0;  // of the submission it matched
    std::string reason;       // why nothing was found
};

// Looks for the offset of drive `drive` (0-based, its disc read) within
// ±`range` samples; asks `settings`' server for the disc's sums first.
// Tries up to three tracks; stops soon after `cancel` becomes true.
OffsetSearch FindReadOffset(DriveSet& drives, int drive, const VerifySettings& settings,
                            const std::atomic<bool>* cancel, int32_t range = OFFSET_SEARCH_RANGE);

}  // namespace cadrix
