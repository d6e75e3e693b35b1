#include "lossless/lossless_rice.h"

#include <algorithm>

namespace wmsdk::lossless {
namespace {

// Quotients from this value on are sent as an escape: the threshold's run of
// ones, a 5-bit width less one, then the excess in that many bits.
constexpr uint32_t kEscape = 32;

inline uint32_t Fold(int32_t r) { return (static_cast<uint32_t>(r) << 1) ^ static_cast<uint32_t>(r >> 31); }

inline void WriteQuotient(BitWriter& out, uint32_t q) {
    if (q < kEscape) {
        // q ones and the terminating zero.
        out.Put((q == 31 ? 0xFFFFFFFFu : (1u << (q + 1)) - 1) ^ 1u, static_cast<int>(q) + 1);
        return;
    }
    out.Put(0xFFFFFFFFu, 32);
    out.Put(0, 1);
    const uint32_t excess = q - kEscape;
    const int width = excess == 0 ? 1 : 32 - __builtin_clz(excess);
    out.Put(static_cast<uint32_t>(width - 1), 5);
    out.Put(excess, width);
}

// One residual with the Rice parameter k: the quotient in unary, then the
// k low bits; in one field when it fits 32 bits, as nearly all do.
inline void WriteCode(BitWriter& out, uint32_t u, int k) {
    const uint32_t q = u >> k;
    const int length = static_cast<int>(q) + 1 + k;
    if (q < kEscape && length <= 32) {
        const uint64_t ones = (uint64_t{1} << q) - 1;
        out.Put(static_cast<uint32_t>((ones << (k + 1)) | (u & ((1u << k) - 1))), length);
        return;
    }
    WriteQuotient(out, q);
    if (k > 0) out.Put(u & ((1u << k) - 1), k);
}

}  // namespace

void WriteRiceResiduals(BitWriter& out, const int32_t* residuals, int count, uint32_t& aveSum, int mvs) {
    uint32_t sum = aveSum;
    const uint32_t half = 1u << mvs;
    for (int i = 0; i < count; ++i) {
        const uint32_t u = Fold(residuals[i]);
        const uint32_t mean = (sum + half) >> (mvs + 1);
        // ceil(log2(mean)), as the decoder computes it; pure unary up to 1.
        WriteCode(out, u, mean <= 1 ? 0 : 32 - __builtin_clz(mean - 1));
        sum = u + sum - (sum >> mvs);
    }
    aveSum = sum;
}

uint32_t InitialAverage(const int32_t* residuals, int count) {
    uint64_t total = 0;
    for (int i = 0; i < count; ++i) total += Fold(residuals[i]);
    const uint64_t mean = count > 0 ? total / static_cast<uint64_t>(count) : 0;
    return static_cast<uint32_t>(std::min<uint64_t>(mean / 2, 0xFFFF));
}

}  // namespace wmsdk::lossless
