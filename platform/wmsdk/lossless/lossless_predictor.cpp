#include "lossless/lossless_predictor.h"

#include <algorithm>
#include <cstring>

namespace wmsdk::lossless {
namespace {

inline int Sign(int32_t v) { return (v > 0) - (v < 0); }

inline int16_t Clip16(int32_t v) { return static_cast<int16_t>(std::clamp(v, -32768, 32767)); }

inline int32_t WrapSub(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

// The decoder's push runs the rings downwards and copies the window to the
// upper half when they wrap. It is split here: the history takes the value
// before the next prediction, the update ring after this sample's
// adaptation has read it.
inline int PushHistory(CdlmsFilter& f, int order, int32_t value) {
    int recent = f.recent - 1;
    if (f.recent == 0) {
        std::memcpy(f.history.data() + order, f.history.data(), sizeof(int16_t) * static_cast<size_t>(order));
        recent = order - 1;
    }
    f.history[static_cast<size_t>(recent)] = Clip16(value);
    return recent;
}

// Update entries are weakened as they age.
inline void PushUpdate(CdlmsFilter& f, int order, int recent, int32_t value, int speed) {
    if (f.recent == 0)
        std::memcpy(f.updates.data() + order, f.updates.data(), sizeof(int16_t) * static_cast<size_t>(order));
    f.recent = recent;
    f.updates[static_cast<size_t>(recent)] = static_cast<int16_t>(Sign(value) * speed);
    f.updates[static_cast<size_t>(recent + (order >> 4))] >>= 2;
    f.updates[static_cast<size_t>(recent + (order >> 3))] >>= 1;
}

// Adapts the coefficients by `direction` times the update window and
// returns the next prediction's sum with the adapted coefficients, in one
// pass: the decoder's "dot product and update", shifted by one sample.
template <int Order>
[[gnu::always_inline]] inline uint32_t AdaptAndPredict(int16_t* coefs, const int16_t* updates, const int16_t* history,
                                                       int direction, uint32_t sum) {
    // Without a branch on the direction: its sign is as good as random.
    const auto step = static_cast<int16_t>(direction);
    for (int k = 0; k < Order; ++k) {
        coefs[k] = static_cast<int16_t>(coefs[k] + step * updates[k]);
        sum += static_cast<uint32_t>(coefs[k] * history[k]);
    }
    return sum;
}

// A fixed order lets the compiler unroll and vectorise the inner loops;
// inlined, they are compiled for each instruction set Analyse is built for.
template <int Order>
[[gnu::always_inline]] inline void AnalyseFixed(CdlmsFilter& f, int32_t* signal, int count, int speed) {
    const int shift = f.scaling;
    const uint32_t round = (1u << shift) >> 1;
    int16_t* coefs = f.coefs.data();
    uint32_t sum = round;
    for (int k = 0; k < Order; ++k)
        sum += static_cast<uint32_t>(coefs[k] * f.history[static_cast<size_t>(f.recent + k)]);
    for (int i = 0; i < count; ++i) {
        const int32_t input = signal[i];
        // The decoder adapts with the sign of the residual it takes in.
        const int32_t residual = WrapSub(input, static_cast<int32_t>(sum) >> shift);
        signal[i] = residual;
        const int16_t* updates = f.updates.data() + f.recent;
        const int recent = PushHistory(f, Order, input);
        sum = AdaptAndPredict<Order>(coefs, updates, f.history.data() + recent, Sign(residual), round);
        PushUpdate(f, Order, recent, input, speed);
    }
}

}  // namespace

// With GCC on x86-64 the filters also get an AVX2 build, chosen at load time
// on processors that have it: twice the vector width of the SSE2 baseline.
// (Not under ThreadSanitizer, whose instrumented resolver would run before
// its runtime is ready.)
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
__attribute__((target_clones("avx2", "default")))
#endif
void CdlmsFilter::Analyse(int32_t* signal, int count, int speed) {
    switch (order) {
        case 16: return AnalyseFixed<16>(*this, signal, count, speed);
        case 32: return AnalyseFixed<32>(*this, signal, count, speed);
        case 64: return AnalyseFixed<64>(*this, signal, count, speed);
        case 128: return AnalyseFixed<128>(*this, signal, count, speed);
        case 256: return AnalyseFixed<256>(*this, signal, count, speed);
        default: return;  // configurations only use the orders above
    }
}

namespace {

// The MCLMS filter of one tile; a fixed tap count unrolls its loops.
template <int Taps>
[[gnu::always_inline]] inline void AnalyseMclms(Mclms& m, std::array<int32_t*, kChannels> channel,
                                                const std::array<bool, kChannels>& coded, int count) {
    const int taps = Taps > 0 ? Taps : m.order * kChannels;
    auto& coefs = m.coefs;
    auto& cross = m.cross;
    auto& history = m.history;
    auto& updates = m.updates;
    int& recent = m.recent;
    const int scaling = m.scaling;
    const uint32_t round = (1u << scaling) >> 1;
    for (int i = 0; i < count; ++i) {
        int32_t x[kChannels], residual[kChannels];
        for (int c = 0; c < kChannels; ++c) x[c] = channel[c][i];
        for (int c = 0; c < kChannels; ++c) {
            int32_t prediction = 0;
            if (coded[c]) {
                uint32_t sum = round;
                const int32_t* h = history.data() + recent;
                for (int k = 0; k < taps; ++k) sum += static_cast<uint32_t>(h[k]) * static_cast<uint32_t>(coefs[c][k]);
                for (int j = 0; j < c; ++j) sum += static_cast<uint32_t>(x[j]) * static_cast<uint32_t>(cross[c][j]);
                prediction = static_cast<int32_t>(sum) >> scaling;
            }
            residual[c] = WrapSub(x[c], prediction);
        }
        for (int c = 0; c < kChannels; ++c) {
            if (residual[c] == 0) continue;
            const int direction = residual[c] > 0 ? 1 : -1;
            const int32_t* u = updates.data() + recent;
            for (int k = 0; k < taps; ++k) coefs[c][k] = static_cast<int16_t>(coefs[c][k] + direction * u[k]);
            for (int j = 0; j < c; ++j) cross[c][j] = static_cast<int16_t>(cross[c][j] + direction * Sign(x[j]));
        }
        for (int c = kChannels - 1; c >= 0; --c) {
            --recent;
            history[static_cast<size_t>(recent)] = Clip16(x[c]);
            updates[static_cast<size_t>(recent)] = Sign(x[c]);
        }
        if (recent == 0) {
            std::copy_n(history.begin(), taps, history.begin() + taps);
            std::copy_n(updates.begin(), taps, updates.begin() + taps);
            recent = taps;
        }
        for (int c = 0; c < kChannels; ++c) channel[c][i] = residual[c];
    }
}

}  // namespace

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
__attribute__((target_clones("avx2", "default")))
#endif
void Mclms::Analyse(std::array<int32_t*, kChannels> channel, const std::array<bool, kChannels>& coded, int count) {
    // Order 8 is the one the encoder's parameter sets use.
    if (order == 8) return AnalyseMclms<8 * kChannels>(*this, channel, coded, count);
    AnalyseMclms<0>(*this, channel, coded, count);
}

void PredictorState::StartSeekableTile(const PredictorConfig& next) {
    mclms.coefs = {};
    mclms.cross = {};
    mclms.history = {};
    mclms.updates = {};
    for (auto& filters : cdlms) {
        for (CdlmsFilter& f : filters) {
            f.coefs = {};
            f.history = {};
            f.updates = {};
        }
    }
    aveSum = {};
    config = next;
    // A tile without MCLMS sends no MCLMS parameters; the old ones stay.
    if (next.mclms) {
        mclms.order = next.mclmsOrder;
        mclms.scaling = next.mclmsScaling;
    }
    mclms.recent = mclms.order * kChannels;
    for (auto& filters : cdlms) {
        for (int i = 0; i < kFiltersPerChannel; ++i) {
            filters[static_cast<size_t>(i)].order = next.cdlmsOrder[static_cast<size_t>(i)];
            filters[static_cast<size_t>(i)].scaling = next.cdlmsScaling[static_cast<size_t>(i)];
            filters[static_cast<size_t>(i)].recent = filters[static_cast<size_t>(i)].order;
        }
    }
}

void PredictorState::AnalyseChannel(int channel, int32_t* samples, int count, bool seekable) {
    const auto ch = static_cast<size_t>(channel);
    const int speed = seekable ? 16 : 8;
    // A speed change rescales the first `order` update entries by absolute
    // index; every order divides the tile, so they are the live window.
    if (updateSpeed[ch] != speed) {
        for (CdlmsFilter& f : cdlms[ch]) {
            for (int k = 0; k < f.order; ++k) {
                auto& u = f.updates[static_cast<size_t>(k)];
                u = static_cast<int16_t>(speed == 16 ? u * 2 : u / 2);
            }
        }
        updateSpeed[ch] = speed;
    }
    // The decoder runs the cascade from the last filter to the first.
    for (CdlmsFilter& f : cdlms[ch]) f.Analyse(samples, count, speed);
}

void Decorrelate(int32_t* left, int32_t* right, int count) {
    for (int i = 0; i < count; ++i) {
        right[i] = right[i] - left[i];
        left[i] = left[i] + (right[i] >> 1);
    }
}

}  // namespace wmsdk::lossless
