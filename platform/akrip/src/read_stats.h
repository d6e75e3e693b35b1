// What reading a stretch of audio cost: the counts a drive reports per track.
#pragma once

#include <cstdint>
#include <vector>

namespace akrip {

struct ReadStats {
    uint32_t sectorsReread = 0;       // sectors read again after a failed read
    uint32_t corrections = 0;         // jitter, drift and scratch fixes made
    std::vector<int64_t> unreadable;  // sectors that could not be read, in order
};

}  // namespace akrip
