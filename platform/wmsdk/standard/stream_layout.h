// What a WMA Standard decoder derives from a 44.1 kHz stereo stream's stated
// byte rate and encoder options: block sizes, exponent bands, the coded
// bandwidth, the noise-coded high bands, the superframe's bit-offset width
// and the coefficient tables. The encoder must use exactly the same values.
#ifndef CADRIX_WMSDK_STANDARD_STREAM_LAYOUT_H
#define CADRIX_WMSDK_STANDARD_STREAM_LAYOUT_H

#include <array>
#include <cstdint>
#include <optional>

namespace wmsdk::standard {

constexpr int kSampleRate = 44100;
constexpr int kChannels = 2;
constexpr int kFrameBits = 11;
constexpr int kFrameLength = 1 << kFrameBits;  // samples per channel and frame
constexpr int kMaxBlockSizes = 5;              // 2048 down to 128
constexpr int kMaxBlocksPerFrame = kFrameLength >> (kMaxBlockSizes - 1);
constexpr int kMaxBands = 25;
constexpr int kMaxHighBands = 16;

// Encoder option bits of the codec data.
constexpr uint16_t kOptionExponentCodes = 0x0001;   // exponents as coded deltas
constexpr uint16_t kOptionBitReservoir = 0x0002;    // frames span superframes
constexpr uint16_t kOptionVariableBlocks = 0x0004;  // block switching
constexpr uint16_t kOptionBlockSizeShift = 3;       // two bits: more block sizes

// One block size, 2048 >> sizeIndex samples.
struct BlockLayout {
    int length = 0;
    int bandCount = 0;
    std::array<uint16_t, kMaxBands> bandSizes{};  // exponent bands, covering the block
    int codedEnd = 0;                             // coefficients at and above it are never sent
    int highBandStart = 0;                        // first coefficient of the noise-codable region
    int highBandCount = 0;                        // bands of [highBandStart, codedEnd)
    std::array<uint16_t, kMaxHighBands> highBandSizes{};
    std::array<uint8_t, kMaxHighBands> highBandOfBand{};  // the exponent band each lies in
};

struct StreamLayout {
    int blockSizes = 1;  // block sizes available, from 2048 down
    int blockSizeFieldBits = 0;
    bool noiseCoding = false;
    int bitOffsetBits = 0;  // width of a superframe's bit offset
    int coefTableSet = 0;   // bit-rate class of the coefficient tables
    std::array<BlockLayout, kMaxBlockSizes> blocks{};

    // The layout of a stream stating `byteRate` bytes per second, with
    // `options` (which must ask for coded exponents and the bit reservoir);
    // nullopt when a decoder could not read such a stream.
    static std::optional<StreamLayout> For(uint32_t byteRate, uint16_t options);
};

}  // namespace wmsdk::standard

#endif
