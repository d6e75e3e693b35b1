#include "standard/block_planner.h"

#include <algorithm>

namespace wmsdk::standard {
namespace {

constexpr float kAttackRatio = 10.0f;                   // 10 dB over the loudest recent segment
constexpr float kSharpRatio = 100.0f;                   // 20 dB: the shortest blocks
constexpr float kAudible = 128.0f * 2 * 30.0f * 30.0f;  // a difference signal of about 30 LSB rms
constexpr int kLookBack = 8;

}  // namespace

void BlockPlanner::Analyse(const float* left, const float* right, int count) {
    for (int at = 0; at + kSegment <= count; at += kSegment) {
        float e = 0;
        for (int i = at; i < at + kSegment; ++i) {
            const float dl = left[i] - last_[0], dr = right[i] - last_[1];
            e += dl * dl + dr * dr;
            last_[0] = left[i];
            last_[1] = right[i];
        }
        energy_[analysed_++ % kHistory] = e;
    }
}

float BlockPlanner::Attack(int64_t segment) const {
    if (segment >= analysed_ || segment < 0 || analysed_ - segment >= kHistory - kLookBack) return 0.0f;
    const float e = energy_[segment % kHistory];
    if (e < kAudible) return 0.0f;
    float before = 0;
    for (int64_t s = std::max<int64_t>(0, segment - kLookBack); s < segment; ++s)
        before = std::max(before, energy_[s % kHistory]);
    const float ratio = e / std::max(before, 1.0f);
    return ratio >= kAttackRatio ? ratio : 0.0f;
}

BlockPlan BlockPlanner::Plan(int64_t segment) const {
    BlockPlan plan;
    constexpr int kHalf = kFrameLength / 2 / kSegment;
    float strongest[2] = {0, 0};
    for (int half = 0; half < 2; ++half)
        for (int s = 0; s < kHalf; ++s) strongest[half] = std::max(strongest[half], Attack(segment + half * kHalf + s));
    if ((strongest[0] == 0 && strongest[1] == 0) || smallest_ == 0) {
        plan.count = 1;
        plan.sizeIndex[0] = 0;
        return plan;
    }
    for (int half = 0; half < 2; ++half) {
        int size = 1;  // 1024 samples
        if (strongest[half] > 0) size = std::min(smallest_, strongest[half] >= kSharpRatio ? 4 : 3);
        const int blocks = 1 << (size - 1);
        for (int i = 0; i < blocks; ++i) plan.sizeIndex[plan.count++] = static_cast<uint8_t>(size);
    }
    return plan;
}

}  // namespace wmsdk::standard
