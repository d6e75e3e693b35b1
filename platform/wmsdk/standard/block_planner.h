// Block switching: finds attacks (a 128-sample segment of the high-passed
// signal at least 10 dB louder than the segments before it) and tiles each
// frame with blocks: one 2048-sample block without an attack, otherwise a
// 1024-sample block for a half without one and 256-sample blocks (128 for
// an attack of 20 dB or more) for a half with one, so that quantisation
// noise cannot spread far ahead of the attack.
#ifndef CADRIX_WMSDK_STANDARD_BLOCK_PLANNER_H
#define CADRIX_WMSDK_STANDARD_BLOCK_PLANNER_H

#include <array>
#include <cstdint>

#include "standard/stream_layout.h"

namespace wmsdk::standard {

struct BlockPlan {
    int count = 0;
    std::array<uint8_t, kMaxBlocksPerFrame> sizeIndex{};
};

class BlockPlanner {
public:
    static constexpr int kSegment = 128;

    explicit BlockPlanner(int blockSizes) : smallest_(blockSizes - 1) {}

    // Takes the next `count` samples of both channels (a multiple of kSegment).
    void Analyse(const float* left, const float* right, int count);
    // The blocks of the 2048 samples starting at `segment` (in kSegment
    // units, already analysed, with at least 8 segments before it or the
    // start of the stream).
    BlockPlan Plan(int64_t segment) const;

private:
    static constexpr int kHistory = 64;   // segments kept, a power of two
    float Attack(int64_t segment) const;  // how much louder than before; 0 when no attack

    int smallest_;
    std::array<float, kHistory> energy_{};
    int64_t analysed_ = 0;  // segments analysed
    float last_[2] = {0, 0};
};

}  // namespace wmsdk::standard

#endif
