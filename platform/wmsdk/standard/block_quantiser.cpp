#include "standard/block_quantiser.h"

#include <algorithm>
#include <cmath>

#include "standard/frame_writer.h"

namespace wmsdk::standard {
namespace {

constexpr int kFirstExponent = 36;
constexpr int kMinExponent = -60;
constexpr int kMaxExponent = 95;
constexpr int kMaxExponentStep = 60;
constexpr float kRounding = 0.4f;
constexpr float kLargestLevel =
    500.0f;  // under 2^9 - 1, with room for the rounding  // a little dead zone: small values cost bits for little gain

float Energy(const float* x, int from, int to) {
    float e = 0;
    for (int i = from; i < to; ++i) e += x[i] * x[i];
    return e;
}

// Bits a band needs, roughly: half a bit per coefficient for each doubling
// of its energy over the noise it may carry.
float Entropy(float energy, float allowed, int width) {
    const float ratio = energy / (allowed * static_cast<float>(width) + 1e-20f);
    return ratio > 1.0f ? 0.5f * static_cast<float>(width) * std::log2(ratio) : 0.0f;
}

}  // namespace

bool BlockQuantiser::ChooseMidSide(const BlockLayout& shape, const BlockSpectrum& input, float allowFactor) {
    const float* l = input.coefficients[0];
    const float* r = input.coefficients[1];
    float separate = 0, joint = 0;
    for (int band = 0, at = 0; band < shape.bandCount; at += shape.bandSizes[band++]) {
        const int end = std::min(at + shape.bandSizes[band], shape.codedEnd);
        if (end <= at) break;
        float el = 0, er = 0, em = 0, es = 0;
        for (int i = at; i < end; ++i) {
            el += l[i] * l[i];
            er += r[i] * r[i];
            em += (l[i] + r[i]) * (l[i] + r[i]);
            es += (l[i] - r[i]) * (l[i] - r[i]);
        }
        const float al = input.mask[0][band] * allowFactor, ar = input.mask[1][band] * allowFactor;
        const float am = std::min(al, ar) * 0.5f;
        separate += Entropy(el, al, end - at) + Entropy(er, ar, end - at);
        joint += Entropy(em * 0.25f, am, end - at) + Entropy(es * 0.25f, am, end - at);
    }
    return joint < separate;
}

void BlockQuantiser::PlanBands(const BlockLayout& shape, Channel& c, int ch, BlockData& block) {
    std::array<float, kMaxBands> energy{};
    std::array<int, kMaxBands> width{};
    for (int band = 0, at = 0; band < shape.bandCount; at += shape.bandSizes[band++]) {
        const int end = std::min(at + shape.bandSizes[band], shape.codedEnd);
        width[band] = std::max(0, end - at);
        energy[band] = Energy(c.x, at, std::max(at, end));
    }
    block.noiseBands[ch] = 0;
    if (layout_.noiseCoding) {
        // Audible but noise-like content within the allowed noise: noise of
        // the same energy sounds alike and costs a gain instead of levels.
        for (int j = 0, at = shape.highBandStart; j < shape.highBandCount; at += shape.highBandSizes[j++]) {
            const int band = shape.highBandOfBand[j], size = shape.highBandSizes[j];
            const float e = Energy(c.x, at, at + size);
            if (c.noiseLike[band] && e > c.mask[band] * size && e <= c.allowed[band] * size) {
                block.noiseBands[ch] = static_cast<uint16_t>(block.noiseBands[ch] | (1u << j));
                energy[band] -= e;
                width[band] -= size;
            }
        }
    }
    for (int band = 0, at = 0; band < shape.bandCount; at += shape.bandSizes[band++]) {
        const bool audible = width[band] > 0 && energy[band] > c.allowed[band] * static_cast<float>(width[band]);
        c.step[band] = audible ? std::sqrt(12.0f * c.allowed[band]) : 0.0f;
        // No level may outgrow the escape code (9 bits at the usual gains):
        // a band with a strong peak gets a coarser step, not the whole block.
        float peak = 0;
        for (int i = at; i < at + width[band]; ++i) peak = std::max(peak, std::fabs(c.x[i]));
        if (audible) c.step[band] = std::max(c.step[band], peak / kLargestLevel);
    }
}

void BlockQuantiser::SetExponents(const BlockLayout& shape, const Channel& c, int ch, BlockData& block) {
    std::array<int, kMaxBands> rel{};
    int best = -1;
    const float gainLog = static_cast<float>(block.totalGain) / 20.0f;
    for (int band = 0; band < shape.bandCount; ++band) {
        if (c.step[band] <= 0) continue;
        rel[band] = std::min(0, static_cast<int>(std::lround(16.0f * (std::log10(c.step[band]) - gainLog))));
        if (best < 0 || rel[band] > rel[best]) best = band;
    }
    // The largest step of every channel is the block's total gain: a band
    // left out takes it where there is one, else the coarsest band.
    int previous = best >= 0 ? rel[best] : 0;
    int host = -1;
    for (int band = 0; band < shape.bandCount; ++band) {
        if (c.step[band] <= 0) {
            rel[band] = previous;  // costs one bit, changes nothing
            if (host < 0 || band == shape.bandCount - 1) host = band;
        }
        previous = rel[band];
    }
    if (best >= 0 && rel[best] < 0) rel[host >= 0 ? host : best] = 0;
    const int top = std::clamp(kFirstExponent - rel[0], kMinExponent, kMaxExponent);
    int last = kFirstExponent;
    for (int band = 0; band < shape.bandCount; ++band) {
        int e = std::clamp(top + rel[band], kMinExponent, kMaxExponent);
        e = std::clamp(e, last - kMaxExponentStep, last + kMaxExponentStep);
        block.exponents[ch][band] = static_cast<int8_t>(e);
        last = e;
    }
}

bool BlockQuantiser::Quantise(const BlockLayout& shape, const Channel& c, int ch, BlockData& block, int16_t* levels) {
    const int top = *std::max_element(block.exponents[ch].begin(), block.exponents[ch].begin() + shape.bandCount);
    const int limit = (1 << EscapeLevelBits(block.totalGain)) - 1;
    const float gainLog = static_cast<float>(block.totalGain) / 20.0f;
    std::fill_n(levels, shape.length, int16_t{0});
    for (int band = 0, at = 0; band < shape.bandCount; at += shape.bandSizes[band++]) {
        if (c.step[band] <= 0) continue;
        const float step = std::pow(10.0f, static_cast<float>(block.exponents[ch][band] - top) / 16.0f + gainLog);
        const float inverse = 1.0f / step;
        const int end = std::min(at + shape.bandSizes[band], shape.codedEnd);
        for (int i = at; i < end; ++i) {
            const int q = static_cast<int>(std::fabs(c.x[i]) * inverse + kRounding);
            if (q > limit) return false;
            levels[i] = static_cast<int16_t>(c.x[i] < 0 ? -q : q);
        }
    }
    // Noise-coded bands carry no levels.
    for (int j = 0, at = shape.highBandStart; j < shape.highBandCount; at += shape.highBandSizes[j++])
        if ((block.noiseBands[ch] >> j) & 1) std::fill_n(levels + at, shape.highBandSizes[j], int16_t{0});
    return true;
}

void BlockQuantiser::SetNoiseGains(const BlockLayout& shape, const Channel& c, int ch, BlockData& block) {
    const uint16_t bands = block.noiseBands[ch];
    if (bands == 0) return;
    // The decoder scales band j's noise by E_j^2 / (E_last * E_max) and the
    // gain, E being the exponents' values, E_last that of the last noise band.
    const auto& exponents = block.exponents[ch];
    const int top = *std::max_element(exponents.begin(), exponents.begin() + shape.bandCount);
    int lastBand = 0;
    for (int j = 0; j < shape.highBandCount; ++j)
        if ((bands >> j) & 1) lastBand = shape.highBandOfBand[j];
    bool first = true;
    int previous = 0;
    for (int j = 0, at = shape.highBandStart; j < shape.highBandCount; at += shape.highBandSizes[j++]) {
        if (!((bands >> j) & 1)) continue;
        const int size = shape.highBandSizes[j];
        const double rms = std::sqrt(Energy(c.x, at, at + size) / size);
        const int e = exponents[shape.highBandOfBand[j]];
        const double scaleDb = (2.0 * e - exponents[lastBand] - top) * 20.0 / 16.0;
        int gain = static_cast<int>(std::lround(20.0 * std::log10(rms + 1e-9) - scaleDb));
        gain = first ? std::clamp(gain, -19, 108) : std::clamp(gain, previous - 18, previous + 18);
        block.noiseGains[ch][j] = static_cast<int8_t>(std::clamp(gain, -19, 108));
        previous = block.noiseGains[ch][j];
        first = false;
    }
}

void BlockQuantiser::Code(FrameData& frame, int b, const BlockSpectrum& input, float nmrDb) {
    BlockData& block = frame.blocks[b];
    const BlockLayout& shape = layout_.blocks[block.sizeIndex];
    const float allowFactor = std::pow(10.0f, nmrDb / 10.0f);
    block.midSide = ChooseMidSide(shape, input, allowFactor);
    std::array<Channel, kChannels> c;
    for (int ch = 0; ch < kChannels; ++ch) {
        for (int band = 0; band < shape.bandCount; ++band) {
            c[ch].mask[band] = block.midSide ? std::min(input.mask[0][band], input.mask[1][band]) * 0.5f
                                             : input.mask[ch][band];
            c[ch].allowed[band] = c[ch].mask[band] * allowFactor;
            c[ch].noiseLike[band] = block.midSide ? input.noiseLike[0][band] && input.noiseLike[1][band]
                                                  : input.noiseLike[ch][band];
        }
    }
    if (block.midSide) {
        const float* l = input.coefficients[0];
        const float* r = input.coefficients[1];
        for (int i = 0; i < shape.length; ++i) {
            mid_[i] = 0.5f * (l[i] + r[i]);
            side_[i] = 0.5f * (l[i] - r[i]);
        }
        c[0].x = mid_.data();
        c[1].x = side_.data();
    } else {
        c[0].x = input.coefficients[0];
        c[1].x = input.coefficients[1];
    }
    for (int ch = 0; ch < kChannels; ++ch) PlanBands(shape, c[ch], ch, block);
    // Levels too large for the escape code: all steps twice as coarse.
    for (;;) {
        float largest = 0;
        for (const Channel& channel : c)
            largest = std::max(largest, *std::max_element(channel.step.begin(), channel.step.end()));
        block.totalGain = largest > 0 ? std::max(1, static_cast<int>(std::lround(20.0f * std::log10(largest)))) : 1;
        bool fits = true;
        for (int ch = 0; ch < kChannels && fits; ++ch) {
            SetExponents(shape, c[ch], ch, block);
            fits = Quantise(shape, c[ch], ch, block, frame.levels[ch].data() + block.start);
        }
        if (fits) break;
        for (Channel& channel : c)
            for (float& step : channel.step) step *= 2.0f;
    }
    for (int ch = 0; ch < kChannels; ++ch) {
        SetNoiseGains(shape, c[ch], ch, block);
        const int16_t* levels = frame.levels[ch].data() + block.start;
        block.coded[ch] = block.noiseBands[ch] != 0 ||
                          std::any_of(levels, levels + shape.length, [](int16_t v) { return v != 0; });
        block.filler[ch] = 0;
        block.escaped[ch] = 0;
    }
}

}  // namespace wmsdk::standard
