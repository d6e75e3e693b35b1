// The freedb/CDDB disc identifier of a table of contents. Header-only so that
// both the CD extraction library and the test-image tools share one version.
#ifndef CADRIX_CDDB_DISC_ID_H
#define CADRIX_CDDB_DISC_ID_H

#include <cstdint>
#include <span>

#include "cd_geometry.h"

// trackStartLbas: the start of every track on the disc, data tracks included,
// in disc order; leadoutLba: the lead-out. Both count from the start of the
// program area (track 1 of a normal disc starts at 0); CDDB works in seconds of
// absolute time, which begins 150 frames (the lead-in gap) earlier.
//   id = (digit sum of every track's start second mod 255) << 24
//      | (lead-out second - first track's second) << 8 | track count
// Seconds are truncated before the difference is taken, as libdiscid and
// libcddb do.
inline uint32_t CddbDiscId(std::span<const uint32_t> trackStartLbas, uint32_t leadoutLba) {
    constexpr uint32_t kLeadInFrames = cadrix::cd::kLeadInFrames;
    constexpr uint32_t kFramesPerSecond = cadrix::cd::kFramesPerSecond;
    if (trackStartLbas.empty()) {
        return 0;
    }
    uint32_t digitSum = 0;
    for (uint32_t lba : trackStartLbas) {
        for (uint32_t seconds = (lba + kLeadInFrames) / kFramesPerSecond; seconds > 0; seconds /= 10) {
            digitSum += seconds % 10;
        }
    }
    const uint32_t firstSecond = (trackStartLbas.front() + kLeadInFrames) / kFramesPerSecond;
    const uint32_t leadoutSecond = (leadoutLba + kLeadInFrames) / kFramesPerSecond;
    const uint32_t length = leadoutSecond > firstSecond ? leadoutSecond - firstSecond : 0;
    return ((digitSum % 255) << 24) | ((length & 0xFFFF) << 8) | (static_cast<uint32_t>(trackStartLbas.size()) & 0xFF);
}

#endif
