// WMA Standard (format tag 0x0161) at a quality instead of a bit rate, for
// 44.1 kHz 16-bit stereo: each frame's blocks are chosen by the attacks in
// it, each band's quantiser step lets noise reach the psychoacoustic model's
// masking threshold scaled by the quality, and the frames, as large as that
// makes them, are packed into superframes of the stream's fixed size with
// the bit reservoir, so that the bit rate follows the music.
//
// The stream starts with two frames of silence that decoders drop, and ends
// with enough frames that a decoder gives out every delivered sample
// (followed by less than two frames of silence).
#ifndef CADRIX_WMSDK_STANDARD_QUALITY_ENCODER_H
#define CADRIX_WMSDK_STANDARD_QUALITY_ENCODER_H

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "standard/block_planner.h"
#include "standard/block_quantiser.h"
#include "standard/frame_data.h"
#include "standard/frame_writer.h"
#include "standard/mdct.h"
#include "standard/psy_model.h"
#include "standard/stream_layout.h"
#include "standard/superframe_packer.h"
#include "stereo_pcm_reader.h"
#include "stream_encoder.h"

namespace wmsdk::standard {

struct QualitySettings {
    uint16_t blockAlign = 0;              // superframe size
    uint32_t statedByteRate = 0;          // the format record's byte rate, which sets the stream's layout
    std::array<uint8_t, 10> codecData{};  // samples per block, options, superframe size
    float noiseToMaskDb = 0;              // noise allowed above the masking threshold
};

// The settings of a quality-based profile (quality 0 .. 100), with the
// profile's superframe size and codec data.
QualitySettings SettingsForQuality(uint32_t quality, uint16_t blockAlign, std::span<const uint8_t> codecData);

class QualityEncoder final : public StreamEncoder {
public:
    // nullptr when the settings describe no stream a decoder could read.
    static std::unique_ptr<QualityEncoder> Create(const QualitySettings& settings);

    uint16_t BlockAlign() const override { return settings_.blockAlign; }
    uint32_t AvgBytesPerSec() const override { return settings_.statedByteRate; }
    std::span<const uint8_t> CodecData() const override { return settings_.codecData; }

    bool Encode(std::span<const uint8_t> pcm, EncodedFrameSink& sink) override;
    bool Finish(EncodedFrameSink& sink) override;
    uint64_t DeliveredSamples() const override { return delivered_; }

    QualityEncoder(const QualitySettings& settings, const StreamLayout& layout);

private:
    static constexpr int kBuffer = 4 * kFrameLength + 2 * kFrameLength;

    bool RunFrames(int64_t available, EncodedFrameSink& sink);
    void DropUsedInput();
    bool EncodeFrame(bool last, EncodedFrameSink& sink);
    void Analyse(int64_t upTo);
    void Transform();
    void Quantise(float extraDb);
    const float* At(int channel, int64_t sample) const { return input_[channel].data() + (sample - bufferStart_); }

    QualitySettings settings_;
    StreamLayout layout_;
    FrameWriter writer_;
    BlockQuantiser quantiser_;
    PsyModel psy_;
    Mdct mdct_;
    BlockPlanner planner_;
    SuperframePacker packer_;
    StereoPcmReader reader_;

    std::array<std::vector<float>, kChannels> input_;
    int64_t bufferStart_ = 0;  // sample time of input_[c][0]; the stream starts 4096 samples before 0
    int64_t bufferEnd_ = 0;
    int64_t analysed_ = 0;  // the block planner has seen samples before this
    uint64_t delivered_ = 0;
    uint64_t frame_ = 0;  // next frame to code
    BlockPlan plan_, nextPlan_;
    uint8_t lastSize_ = 0;

    std::unique_ptr<FrameData> data_;
    std::array<std::vector<float>, kChannels> coefficients_;
    std::vector<BlockSpectrum> spectra_;
    std::array<MaskHistory, kChannels> history_;
    std::vector<float> partitionMask_, analysis_, partitionTonality_;
};

}  // namespace wmsdk::standard

#endif
