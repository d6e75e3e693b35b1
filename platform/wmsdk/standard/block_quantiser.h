// Turns one block's spectrum and the noise it may carry into coded side
// information and levels: left/right or mid/side (whichever needs fewer
// bits by perceptual entropy), each band's quantiser step from its allowed
// noise (uniform noise of step^2 / 12 per coefficient), bands whose whole
// energy is below the allowed noise left out, and, where the stream has
// noise coding, high bands that noise of the same energy replaces within
// the allowed noise coded as noise.
#ifndef CADRIX_WMSDK_STANDARD_BLOCK_QUANTISER_H
#define CADRIX_WMSDK_STANDARD_BLOCK_QUANTISER_H

#include <array>

#include "standard/frame_data.h"
#include "standard/stream_layout.h"

namespace wmsdk::standard {

// A block's input, per channel (left, right): its coefficients, and per
// exponent band the masking threshold (energy per coefficient) and whether
// the band sounds like noise.
struct BlockSpectrum {
    std::array<const float*, kChannels> coefficients{};
    std::array<std::array<float, kMaxBands>, kChannels> mask{};
    std::array<std::array<bool, kMaxBands>, kChannels> noiseLike{};
};

class BlockQuantiser {
public:
    explicit BlockQuantiser(const StreamLayout& layout) : layout_(layout) {}

    // Codes block `b` of `frame` (its size index and start already set),
    // allowing noise `nmrDb` above the masking threshold.
    void Code(FrameData& frame, int b, const BlockSpectrum& input, float nmrDb);

private:
    struct Channel {
        const float* x = nullptr;
        std::array<float, kMaxBands> mask{};     // energy per coefficient
        std::array<float, kMaxBands> allowed{};  // noise allowed, per coefficient
        std::array<bool, kMaxBands> noiseLike{};
        std::array<float, kMaxBands> step{};  // wanted; 0 for a band left out
    };
    bool ChooseMidSide(const BlockLayout& shape, const BlockSpectrum& input, float allowFactor);
    void PlanBands(const BlockLayout& shape, Channel& c, int ch, BlockData& block);
    void SetExponents(const BlockLayout& shape, const Channel& c, int ch, BlockData& block);
    bool Quantise(const BlockLayout& shape, const Channel& c, int ch, BlockData& block, int16_t* levels);
    void SetNoiseGains(const BlockLayout& shape, const Channel& c, int ch, BlockData& block);

    const StreamLayout& layout_;
    std::array<float, kFrameLength> mid_{}, side_{};
};

}  // namespace wmsdk::standard

#endif
