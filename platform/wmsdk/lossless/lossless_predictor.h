// The prediction state of a WMA Lossless decoder, mirrored by the encoder:
// the cascaded sign-sign LMS filters of each channel (CDLMS), the
// multichannel LMS filter (MCLMS) and the inter-channel decorrelation.
//
// The decoder reconstructs residual -> CDLMS cascade -> MCLMS -> inter-channel;
// the encoder runs the same stages in reverse with the decoder's own array
// widths, index arithmetic and wrap-around, so that its state after each tile
// equals the decoder's bit for bit.
#ifndef CADRIX_WMSDK_LOSSLESS_PREDICTOR_H
#define CADRIX_WMSDK_LOSSLESS_PREDICTOR_H

#include <array>
#include <cstdint>

namespace wmsdk::lossless {

constexpr int kChannels = 2;
constexpr int kTileSamples = 2048;
constexpr int kFiltersPerChannel = 2;  // the same in every tile of a file
constexpr int kMaxCdlmsOrder = 256;
constexpr int kMaxMclmsOrder = 32;

// The parameters a seekable tile sends.
struct PredictorConfig {
    bool interChannel = true;
    bool mclms = true;
    int mclmsOrder = 8;  // even, 2..32
    int mclmsScaling = 13;
    std::array<int, kFiltersPerChannel> cdlmsOrder{32, 16};  // multiples of 16 dividing the tile
    std::array<int, kFiltersPerChannel> cdlmsScaling{12, 11};
    int movingAverageScaling = 6;  // `mvs`, 0..7
};

struct CdlmsFilter {
    int order = 0;
    int scaling = 0;
    int recent = 0;
    alignas(16) std::array<int16_t, kMaxCdlmsOrder> coefs{};
    alignas(16) std::array<int16_t, 2 * kMaxCdlmsOrder> history{};  // clipped outputs
    alignas(16) std::array<int16_t, 2 * kMaxCdlmsOrder> updates{};

    // Runs the filter backwards over `count` samples in place: each `signal`
    // value (what the decoder's filter puts out) becomes the residual the
    // decoder's filter takes in.
    void Analyse(int32_t* signal, int count, int speed);
};

struct Mclms {
    int order = 0;
    int scaling = 0;
    int recent = 0;
    std::array<std::array<int16_t, kMaxMclmsOrder * kChannels>, kChannels> coefs{};
    std::array<std::array<int16_t, kChannels>, kChannels> cross{};
    std::array<int32_t, 2 * kMaxMclmsOrder * kChannels> history{};
    std::array<int32_t, 2 * kMaxMclmsOrder * kChannels> updates{};

    // Replaces `channel[c][i]` (the decoder's MCLMS output) with the residual
    // its input holds; an uncoded channel is all zero and stays so.
    void Analyse(std::array<int32_t*, kChannels> channel, const std::array<bool, kChannels>& coded, int count);
};

struct PredictorState {
    PredictorConfig config;
    Mclms mclms;
    std::array<std::array<CdlmsFilter, kFiltersPerChannel>, kChannels> cdlms{};
    std::array<int, kChannels> updateSpeed{};  // 0 until a channel is first coded
    std::array<uint32_t, kChannels> aveSum{};  // the residual coder's moving average

    // What a seekable tile does before its samples: clear the buffers, take
    // the new parameters, restart the rings. The update speed carries over.
    void StartSeekableTile(const PredictorConfig& next);
    // Sets a coded channel's update speed (16 in seekable tiles, else 8) and
    // runs its filter cascade backwards over the tile.
    void AnalyseChannel(int channel, int32_t* samples, int count, bool seekable);
};

// Inter-channel decorrelation of a stereo pair, in place: left becomes the
// mid value, right the side value the decoder turns back into L and R.
void Decorrelate(int32_t* left, int32_t* right, int count);

}  // namespace wmsdk::lossless

#endif
