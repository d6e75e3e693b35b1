// WMA Standard (format tag 0x0161) through libavcodec's wmav2 encoder, fed
// with 44.1 kHz 16-bit stereo PCM bytes.
#ifndef CADRIX_WMSDK_WMA_STANDARD_ENCODER_H
#define CADRIX_WMSDK_WMA_STANDARD_ENCODER_H

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "stereo_pcm_reader.h"
#include "stream_encoder.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace wmsdk {

class WmaStandardEncoder final : public StreamEncoder {
public:
    static constexpr int kSampleRate = 44100;
    static constexpr int kChannels = 2;
    static constexpr int kFrameSamples = 2048;

    WmaStandardEncoder();
    ~WmaStandardEncoder() override;
    WmaStandardEncoder(const WmaStandardEncoder&) = delete;
    WmaStandardEncoder& operator=(const WmaStandardEncoder&) = delete;

    // Opens the encoder at a bit rate of 24,000 bit/s or more.
    bool Open(int64_t bitRate);
    // Encoded frame size (every frame has the same size) and the byte rate.
    uint16_t BlockAlign() const override;
    uint32_t AvgBytesPerSec() const override;
    std::span<const uint8_t> CodecData() const override;

    // Takes interleaved little-endian 16-bit stereo bytes; any length (a partial
    // sample frame is kept for the next call).
    bool Encode(std::span<const uint8_t> pcm, EncodedFrameSink& sink) override;
    // Encodes what is left, padded with silence, plus the silence the codec
    // needs so that a decoder gives out every delivered sample.
    bool Finish(EncodedFrameSink& sink) override;

    // Sample frames delivered so far (not counting the codec's silence).
    uint64_t DeliveredSamples() const override { return delivered_; }

private:
    bool SendFrame(EncodedFrameSink& sink);
    bool Drain(EncodedFrameSink& sink);

    struct ContextDeleter {
        void operator()(AVCodecContext* c) const;
    };
    struct FrameDeleter {
        void operator()(AVFrame* f) const;
    };
    struct PacketDeleter {
        void operator()(AVPacket* p) const;
    };
    std::unique_ptr<AVCodecContext, ContextDeleter> context_;
    std::unique_ptr<AVFrame, FrameDeleter> frame_;
    std::unique_ptr<AVPacket, PacketDeleter> packet_;
    int filled_ = 0;  // samples in frame_
    uint64_t framesSent_ = 0;
    uint64_t packetsOut_ = 0;
    uint64_t delivered_ = 0;
    StereoPcmReader reader_;
};

}  // namespace wmsdk

#endif
