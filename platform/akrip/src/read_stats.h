// What reading a stretch of audio cost: the counts a drive reports per track.
#pragma once

#include <cstdint>
#include <vector>

namespace akrip {

// Why a read failed.
enum class ReadFailure : uint8_t {
    None,
    Unreadable,  // a sector could not be read (or verified) within the retries
    DiscGone,    // the disc was taken out or changed, or the drive is not ready
};

struct ReadStats {
    uint32_t sectorsReread = 0;               // sectors read again after a failed read
    uint32_t corrections = 0;                 // jitter, drift and scratch fixes made
    std::vector<int64_t> unreadable;          // sectors that could not be read, in order
    ReadFailure failure = ReadFailure::None;  // the first failure seen
    void Fail(ReadFailure why) {
        if (failure == ReadFailure::None) failure = why;
    }
};

}  // namespace akrip
