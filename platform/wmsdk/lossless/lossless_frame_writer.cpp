#include "lossless/lossless_frame_writer.h"

#include <algorithm>

#include "lossless/lossless_rice.h"

namespace wmsdk::lossless {
namespace {

// How many residuals the initial average of a seekable tile looks at.
constexpr int kAverageWindow = 32;

void WritePaddingZeroes(BitWriter& out, int paddingZeroes) {
    out.Put(paddingZeroes > 0 ? 1 : 0, 1);
    if (paddingZeroes > 0) out.Put(static_cast<uint32_t>(paddingZeroes), 5);
}

void WriteParameters(BitWriter& out, const PredictorConfig& config) {
    out.Put(0, 1);  // no arithmetic coding
    out.Put(0, 1);  // no AC filter
    out.Put(config.interChannel ? 1 : 0, 1);
    out.Put(config.mclms ? 1 : 0, 1);
    if (config.mclms) {
        out.Put(static_cast<uint32_t>(config.mclmsOrder / 2 - 1), 4);
        out.Put(static_cast<uint32_t>(config.mclmsScaling), 4);
        out.Put(0, 1);  // coefficients start at zero
    }
    out.Put(0, 1);  // CDLMS coefficients start at zero
    for (int c = 0; c < kChannels; ++c) {
        out.Put(kFiltersPerChannel - 1, 3);
        for (int order : config.cdlmsOrder) out.Put(static_cast<uint32_t>(order / 8 - 1), 7);
        for (int scaling : config.cdlmsScaling) out.Put(static_cast<uint32_t>(scaling), 4);
    }
    out.Put(static_cast<uint32_t>(config.movingAverageScaling), 3);
    out.Put(0, 8);  // quantisation step 1
}

}  // namespace

void WriteFrameStart(BitWriter& out, int endSkip) {
    out.Put(1, 1);    // tiles aligned across channels
    out.Put(0xF, 4);  // one tile: 128 x (15 + 1) samples
    if (endSkip == 0) {
        out.Put(0, 1);
        return;
    }
    out.Put(1, 1);
    out.Put(0, 1);  // no start skip
    out.Put(1, 1);
    out.Put(static_cast<uint32_t>(endSkip), 12);
}

void WriteTileStart(BitWriter& out, bool seekable, const PredictorConfig& config, bool raw) {
    out.Put(seekable ? 1 : 0, 1);
    if (seekable) WriteParameters(out, config);
    out.Put(raw ? 1 : 0, 1);
}

void WriteRawBody(BitWriter& out, const std::array<const int32_t*, kChannels>& samples, int paddingZeroes) {
    WritePaddingZeroes(out, paddingZeroes);
    const int bits = kBitsPerSample - paddingZeroes;
    for (const int32_t* channel : samples) {
        for (int i = 0; i < kTileSamples; ++i) out.PutSigned(channel[i], bits);
    }
}

void WriteCodedBody(BitWriter& out, const CodedTile& tile, const PredictorConfig& config,
                    std::array<uint32_t, kChannels>& aveSum) {
    for (bool coded : tile.coded) out.Put(coded ? 1 : 0, 1);
    WritePaddingZeroes(out, tile.paddingZeroes);
    const int mvs = config.movingAverageScaling;
    for (int c = 0; c < kChannels; ++c) {
        if (!tile.coded[static_cast<size_t>(c)]) continue;
        const int32_t* r = tile.residuals[static_cast<size_t>(c)];
        uint32_t& sum = aveSum[static_cast<size_t>(c)];
        out.Put(0, 1);  // no transient
        int first = 0;
        if (tile.seekable) {
            // The first residual goes out as it is; the average starts from
            // the ones after it.
            const uint32_t mean = InitialAverage(r + 1, std::min(kAverageWindow, kTileSamples - 1));
            out.Put(mean, kBitsPerSample);
            sum = mean << (mvs + 1);
            out.PutSigned(r[0], config.interChannel ? kBitsPerSample + 1 : kBitsPerSample);
            first = 1;
        }
        WriteRiceResiduals(out, r + first, kTileSamples - first, sum, mvs);
    }
}

}  // namespace wmsdk::lossless
