// One coded WMA Standard frame (2048 samples per channel) before it is
// written as bits: its blocks with their side information and the quantised
// coefficient levels.
#ifndef CADRIX_WMSDK_STANDARD_FRAME_DATA_H
#define CADRIX_WMSDK_STANDARD_FRAME_DATA_H

#include <array>
#include <cstdint>

#include "standard/stream_layout.h"

namespace wmsdk::standard {

struct BlockData {
    uint8_t sizeIndex = 0;  // the block is 2048 >> sizeIndex samples long
    uint16_t start = 0;     // its first coefficient in FrameData::levels
    bool midSide = false;   // channel 0 holds (L + R) / 2, channel 1 (L - R) / 2
    std::array<bool, kChannels> coded{};
    int totalGain = 1;  // global step, in dB (1 or more)
    // Exponent of each band, in 1.25 dB units (-60 .. 95): the band's
    // quantiser step relative to the largest one.
    std::array<std::array<int8_t, kMaxBands>, kChannels> exponents{};
    // Noise-coded high bands (bit i: band i) and their gains in dB.
    std::array<uint16_t, kChannels> noiseBands{};
    std::array<std::array<int8_t, kMaxHighBands>, kChannels> noiseGains{};
    // Filler (see FrameWriter): zero levels to write after the last coded
    // level, and how many of the first levels to write with the escape code.
    std::array<uint16_t, kChannels> filler{};
    std::array<uint16_t, kChannels> escaped{};
};

struct FrameData {
    uint64_t index = 0;  // frame number in the stream
    int blockCount = 0;
    uint8_t previousSize = 0;  // size index of the block before the frame
    uint8_t nextSize = 0;      // and of the block after it
    std::array<BlockData, kMaxBlocksPerFrame> blocks{};
    // Levels of each channel in coefficient order, block after block; zero
    // in noise-coded bands and at and above a block's coded end.
    std::array<std::array<int16_t, kFrameLength>, kChannels> levels{};
};

}  // namespace wmsdk::standard

#endif
