// The frame and tile syntax of WMA Lossless as far as this encoder uses it:
// one tile of 2048 samples shared by both channels per frame, an end skip on
// the last frame, seekable tiles with their parameter block, raw PCM tiles
// and LMS-coded tiles. No arithmetic coding, LPC, AC filter, DRC, start skip
// or sent coefficients.
#ifndef CADRIX_WMSDK_LOSSLESS_FRAME_WRITER_H
#define CADRIX_WMSDK_LOSSLESS_FRAME_WRITER_H

#include <array>
#include <cstdint>

#include "bit_writer.h"
#include "lossless/lossless_predictor.h"

namespace wmsdk::lossless {

constexpr int kBitsPerSample = 16;

// Tile layout and skip information; `endSkip` (0..2047) samples of the
// frame's end are padding a decoder drops.
void WriteFrameStart(BitWriter& out, int endSkip);

// The tile's seekable flag (with the parameter block of a seekable tile) and
// its raw flag.
void WriteTileStart(BitWriter& out, bool seekable, const PredictorConfig& config, bool raw);

// A raw tile's body: every channel's samples, already shifted right by the
// `paddingZeroes` bits they all have clear.
void WriteRawBody(BitWriter& out, const std::array<const int32_t*, kChannels>& samples, int paddingZeroes);

// A coded tile's body: the coded-channel flags, the padding zeroes and each
// coded channel's residuals. `aveSum` is the residual coder's state,
// set from the sent initial average in a seekable tile.
struct CodedTile {
    std::array<const int32_t*, kChannels> residuals{};
    std::array<bool, kChannels> coded{};
    int paddingZeroes = 0;
    bool seekable = false;
};
void WriteCodedBody(BitWriter& out, const CodedTile& tile, const PredictorConfig& config,
                    std::array<uint32_t, kChannels>& aveSum);

// Bits of a raw tile body.
inline size_t RawBodyBits(int paddingZeroes) {
    return 1 + (paddingZeroes > 0 ? 5 : 0) + size_t{kChannels} * kTileSamples * size_t(kBitsPerSample - paddingZeroes);
}

}  // namespace wmsdk::lossless

#endif
