#include "standard/stream_layout.h"

#include <algorithm>

namespace wmsdk::standard {
namespace {

// Band edges (Hz) from which the exponent bands of the long blocks follow.
constexpr uint16_t kCriticalFrequencies[25] = {100,  200,  300,  400,  510,   630,   770,  920,  1080,
                                               1270, 1480, 1720, 2000, 2320,  2700,  3150, 3700, 4400,
                                               5300, 6400, 7700, 9500, 12000, 15500, 24500};

// The exponent bands of the 128-, 256- and 512-sample blocks at 44.1 kHz:
// the count, then the band sizes.
constexpr uint8_t kShortBlockBands[3][25] = {
    {12, 4, 4, 4, 4, 4, 8, 8, 8, 12, 16, 20, 36},
    {15, 4, 8, 4, 8, 8, 4, 8, 8, 12, 12, 12, 24, 28, 40, 76},
    {17, 4, 8, 8, 4, 12, 12, 8, 8, 24, 16, 20, 24, 32, 40, 60, 80, 152},
};

constexpr int kMinBlockBits = 7;
constexpr int kMaxCacheBits = 25;  // widest field a decoder reads in one go

int FloorLog2(int value) {
    int bits = 0;
    while (value > 1) {
        value >>= 1;
        ++bits;
    }
    return bits;
}

void SetExponentBands(BlockLayout& block, int sizeIndex) {
    const int fromTable = kFrameBits - kMinBlockBits - sizeIndex;
    if (fromTable < 3) {
        const uint8_t* table = kShortBlockBands[fromTable];
        block.bandCount = table[0];
        for (int i = 0; i < block.bandCount; ++i) block.bandSizes[i] = table[i + 1];
        return;
    }
    int count = 0, previous = 0;
    for (const uint16_t frequency : kCriticalFrequencies) {
        int edge = ((block.length * 2 * frequency) + (kSampleRate << 1)) / (4 * kSampleRate);
        edge = std::min(edge << 2, block.length);
        if (edge > previous) block.bandSizes[count++] = static_cast<uint16_t>(edge - previous);
        if (edge >= block.length) break;
        previous = edge;
    }
    block.bandCount = count;
}

void SetHighBands(BlockLayout& block) {
    int count = 0, position = 0;
    for (int band = 0; band < block.bandCount; ++band) {
        const int start = std::max(position, block.highBandStart);
        position += block.bandSizes[band];
        const int end = std::min(position, block.codedEnd);
        if (end > start && count < kMaxHighBands) {
            block.highBandSizes[count] = static_cast<uint16_t>(end - start);
            block.highBandOfBand[count] = static_cast<uint8_t>(band);
            ++count;
        }
    }
    block.highBandCount = count;
}

}  // namespace

std::optional<StreamLayout> StreamLayout::For(uint32_t byteRate, uint16_t options) {
    if (byteRate == 0 || !(options & kOptionExponentCodes) || !(options & kOptionBitReservoir)) return std::nullopt;
    StreamLayout layout;
    const int64_t bitRate = int64_t{byteRate} * 8;
    if (options & kOptionVariableBlocks) {
        int count = ((options >> kOptionBlockSizeShift) & 3) + 1;
        if (bitRate / kChannels >= 32000) count += 2;
        layout.blockSizes = std::min(count, kFrameBits - kMinBlockBits) + 1;
        layout.blockSizeFieldBits = FloorLog2(layout.blockSizes - 1) + 1;
    }

    // The decoder works these out in single precision; so does this.
    const volatile float bitsPerSample = static_cast<float>(bitRate) / static_cast<float>(kChannels * kSampleRate);
    layout.bitOffsetBits = FloorLog2(static_cast<int>(bitsPerSample * kFrameLength / 8.0 + 0.5)) + 2;
    if (layout.bitOffsetBits + 3 > kMaxCacheBits) return std::nullopt;
    const float stereoBitsPerSample = static_cast<float>(bitsPerSample * 1.6);
    float highFrequency = static_cast<float>(kSampleRate * 0.5);
    layout.noiseCoding = stereoBitsPerSample < 0.61;
    if (layout.noiseCoding) highFrequency = static_cast<float>(highFrequency * 0.4);
    layout.coefTableSet = stereoBitsPerSample < 0.72 ? 0 : stereoBitsPerSample < 1.16 ? 1 : 2;

    // Every size is laid out, also those the stream does not use.
    for (int k = 0; k < kMaxBlockSizes; ++k) {
        BlockLayout& block = layout.blocks[k];
        block.length = kFrameLength >> k;
        SetExponentBands(block, k);
        block.codedEnd = (kFrameLength - kFrameLength * 9 / 100) >> k;
        const float edge = static_cast<float>(block.length * 2) * highFrequency / static_cast<float>(kSampleRate);
        block.highBandStart = static_cast<int>(edge + 0.5);
        SetHighBands(block);
    }
    return layout;
}

}  // namespace wmsdk::standard
