// WMA 9 Lossless (format tag 0x0163) for 44.1 kHz 16-bit stereo: frames of
// 2048 samples, each one tile that is either LMS-predicted and Rice-coded or,
// when that would be larger, raw PCM. A seekable tile (predictor reset and
// parameters) starts the stream and then about every second, always as the
// first frame to start in its packet so that a decoder can begin there.
#ifndef CADRIX_WMSDK_WMA_LOSSLESS_ENCODER_H
#define CADRIX_WMSDK_WMA_LOSSLESS_ENCODER_H

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "bit_writer.h"
#include "lossless/lossless_frame_writer.h"
#include "lossless/lossless_packetiser.h"
#include "lossless/lossless_predictor.h"
#include "stereo_pcm_reader.h"
#include "stream_encoder.h"

namespace wmsdk {

class WmaLosslessEncoder final : public StreamEncoder {
public:
    static constexpr int kSampleRate = 44100;
    // The codec data of a 16-bit stereo stream with 2048-sample frames and
    // up to 16 tiles per frame (decode flags 0x0021).
    static constexpr std::array<uint8_t, 18> kCodecData = {0x10, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x21, 0, 0, 0};
    // What the profile states as the byte rate of a quality-based stream.
    static constexpr uint32_t kVbrByteRate = 2147483492u;

    WmaLosslessEncoder();
    ~WmaLosslessEncoder() override;

    uint16_t BlockAlign() const override { return lossless::Packetiser::kPacketBytes; }
    uint32_t AvgBytesPerSec() const override { return kVbrByteRate; }
    std::span<const uint8_t> CodecData() const override { return kCodecData; }

    bool Encode(std::span<const uint8_t> pcm, EncodedFrameSink& sink) override;
    bool Finish(EncodedFrameSink& sink) override;
    uint64_t DeliveredSamples() const override { return delivered_; }

private:
    struct Trial;

    bool EncodeFrame(int valid, EncodedFrameSink& sink);
    int PaddingZeroes() const;
    void CodeTile(Trial& trial, const lossless::PredictorState& from, const lossless::PredictorConfig* restart,
                  int endSkip, int paddingZeroes);
    void WriteRawFrame(int endSkip, int paddingZeroes, bool seekable, const lossless::PredictorConfig& config);

    std::array<std::array<int16_t, lossless::kTileSamples>, lossless::kChannels> input_{};
    int filled_ = 0;
    uint64_t delivered_ = 0;
    uint64_t frames_ = 0;
    uint64_t framesSinceSeekable_ = 0;
    StereoPcmReader reader_;

    std::unique_ptr<lossless::PredictorState> state_;
    std::unique_ptr<Trial> best_;
    std::unique_ptr<Trial> candidate_;
    BitWriter raw_;
    std::array<std::vector<int32_t>, lossless::kChannels> rawSamples_;
    lossless::Packetiser packetiser_;
};

}  // namespace wmsdk

#endif
