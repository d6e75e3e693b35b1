#include "standard/quality_encoder.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace wmsdk::standard {
namespace {

constexpr int64_t kStreamStart = -2 * kFrameLength;  // the two priming frames
constexpr uint16_t kOptions = kOptionExponentCodes | kOptionBitReservoir | kOptionVariableBlocks |
                              (3 << kOptionBlockSizeShift);
constexpr float kCapStepDb = 1.5f;
constexpr float kMaxCoarserDb = 120.0f;
constexpr float kFloorStepDb = 2.0f;
constexpr float kMaxFinerDb = -24.0f;
constexpr float kNoiseLikeTonality = 0.3f;

// Where frame `k`'s blocks begin: frame k holds the samples of its blocks'
// middles, [2048 k - 3072, 2048 k - 1024).
int64_t FrameOrigin(uint64_t frame) {
    return static_cast<int64_t>(frame) * kFrameLength + kStreamStart + kFrameLength / 2;
}

}  // namespace

QualitySettings SettingsForQuality(uint32_t quality, uint16_t blockAlign, std::span<const uint8_t> codecData) {
    QualitySettings s;
    s.blockAlign = blockAlign;
    // The stated rate picks the decoder's tables and the bit offset's width:
    // noise coding at the lowest quality, the tables of its rate class above,
    // and room for frames of about twice the rate's size to run on.
    s.statedByteRate = quality <= 10   ? 4000
                       : quality <= 25 ? 6000
                       : quality <= 50 ? 12000
                       : quality <= 75 ? 16000
                       : quality <= 90 ? 24000
                                       : 32000;
    std::copy_n(codecData.begin(), std::min(codecData.size(), s.codecData.size()), s.codecData.begin());
    s.codecData[4] = static_cast<uint8_t>(kOptions & 0xFF);
    s.codecData[5] = static_cast<uint8_t>(kOptions >> 8);
    // Noise allowed over the masking threshold, in dB, at each quality.
    s.noiseToMaskDb = quality <= 10   ? 6.0f
                      : quality <= 25 ? 3.5f
                      : quality <= 50 ? 1.5f
                      : quality <= 75 ? -1.0f
                      : quality <= 90 ? -4.0f
                                      : -7.0f;
    return s;
}

std::unique_ptr<QualityEncoder> QualityEncoder::Create(const QualitySettings& settings) {
    const uint16_t options = static_cast<uint16_t>(settings.codecData[4] | (settings.codecData[5] << 8));
    const auto layout = StreamLayout::For(settings.statedByteRate, options);
    if (!layout || layout->blockSizes < 2 || settings.blockAlign < 64) return nullptr;
    return std::unique_ptr<QualityEncoder>(new (std::nothrow) QualityEncoder(settings, *layout));
}

QualityEncoder::QualityEncoder(const QualitySettings& settings, const StreamLayout& layout)
    : settings_(settings),
      layout_(layout),
      writer_(layout_),
      quantiser_(layout_),
      psy_(layout_),
      planner_(layout_.blockSizes),
      packer_(writer_, settings.blockAlign),
      data_(std::make_unique<FrameData>()),
      spectra_(kMaxBlocksPerFrame),
      partitionMask_(kFrameLength),
      analysis_(kFrameLength),
      partitionTonality_(kFrameLength) {
    for (int ch = 0; ch < kChannels; ++ch) {
        input_[ch].assign(kBuffer, 0.0f);
        coefficients_[ch].assign(kFrameLength, 0.0f);
    }
    bufferStart_ = kStreamStart;
    bufferEnd_ = 0;  // the priming silence is already there
    analysed_ = kStreamStart;
    nextPlan_.count = 1;
}

void QualityEncoder::Analyse(int64_t upTo) {
    const int64_t end = analysed_ + (upTo - analysed_) / BlockPlanner::kSegment * BlockPlanner::kSegment;
    if (end <= analysed_) return;
    planner_.Analyse(At(0, analysed_), At(1, analysed_), static_cast<int>(end - analysed_));
    analysed_ = end;
}

// Drops the samples before the next frame's first block and the block
// planner's position.
void QualityEncoder::DropUsedInput() {
    const int64_t keep = FrameOrigin(frame_) - kFrameLength / 2;
    const int64_t drop = std::max<int64_t>(0, std::min(keep, analysed_) - bufferStart_);
    if (drop == 0) return;
    for (auto& channel : input_)
        std::memmove(channel.data(), channel.data() + drop,
                     static_cast<size_t>(bufferEnd_ - bufferStart_ - drop) * sizeof(float));
    bufferStart_ += drop;
}

bool QualityEncoder::Encode(std::span<const uint8_t> pcm, EncodedFrameSink& sink) {
    return reader_.Feed(pcm, [&](const uint8_t* p, size_t count) {
        while (count > 0) {
            DropUsedInput();
            const size_t room = static_cast<size_t>(kBuffer - (bufferEnd_ - bufferStart_));
            const size_t n = std::min(count, room);
            float* left = input_[0].data() + (bufferEnd_ - bufferStart_);
            float* right = input_[1].data() + (bufferEnd_ - bufferStart_);
            for (size_t i = 0; i < n; ++i, p += 4) {
                left[i] = PcmSample(p);
                right[i] = PcmSample(p + 2);
            }
            bufferEnd_ += static_cast<int64_t>(n);
            delivered_ += n;
            count -= n;
            if (!RunFrames(bufferEnd_, sink)) return false;
        }
        return true;
    });
}

// Frame k needs its samples up to 2048 k and the next frame's middles for
// the next frame's blocks: everything before 2048 k + 1024.
bool QualityEncoder::RunFrames(int64_t available, EncodedFrameSink& sink) {
    Analyse(available);
    while (FrameOrigin(frame_ + 1) + kFrameLength <= analysed_) {
        if (!EncodeFrame(false, sink)) return false;
    }
    return true;
}

bool QualityEncoder::Finish(EncodedFrameSink& sink) {
    reader_.DropPartial();
    // Frames up to the one whose middles end past the last sample, and one
    // more whose first half completes it.
    const uint64_t frames = (delivered_ + kFrameLength - 1) / kFrameLength + 2;
    while (frame_ < frames) {
        const int64_t need = std::min<int64_t>(FrameOrigin(frame_ + 1) + kFrameLength, bufferStart_ + kBuffer);
        if (bufferEnd_ < need) {
            for (auto& channel : input_)
                std::fill(channel.begin() + (bufferEnd_ - bufferStart_), channel.begin() + (need - bufferStart_), 0.0f);
            bufferEnd_ = need;
        }
        Analyse(bufferEnd_);
        if (!EncodeFrame(frame_ + 1 == frames, sink)) return false;
        DropUsedInput();
    }
    return packer_.Finish(sink);
}

void QualityEncoder::Transform() {
    FrameData& f = *data_;
    int position = 0;
    for (int b = 0; b < f.blockCount; ++b) {
        BlockData& block = f.blocks[b];
        const int n = kFrameLength >> block.sizeIndex;
        const int previous = kFrameLength >> (b > 0 ? f.blocks[b - 1].sizeIndex : f.previousSize);
        const int next = kFrameLength >> (b + 1 < f.blockCount ? f.blocks[b + 1].sizeIndex : f.nextSize);
        block.start = static_cast<uint16_t>(position);
        const int64_t from = FrameOrigin(f.index) + position - n / 2;
        BlockSpectrum& spectrum = spectra_[b];
        for (int ch = 0; ch < kChannels; ++ch) {
            float* x = coefficients_[ch].data() + position;
            mdct_.Transform(n, previous, next, At(ch, from), x);
            // The model hears the block through its own symmetric window: the
            // short slopes next to other block sizes spread a tone over the
            // spectrum, which would pass for masking there.
            mdct_.Transform(n, n, n, At(ch, from), analysis_.data());
            psy_.Mask(block.sizeIndex, analysis_.data(), history_[ch], partitionMask_.data(),
                      partitionTonality_.data());
            spectrum.coefficients[ch] = x;
            spectrum.mask[ch].fill(0.0f);
            std::array<float, kMaxBands> tonal{};
            std::array<int, kMaxBands> parts{};
            for (int p = 0; p < psy_.PartitionCount(block.sizeIndex); ++p) {
                const int band = psy_.PartitionAt(block.sizeIndex, p).band;
                const float m = partitionMask_[p];
                spectrum.mask[ch][band] = parts[band] == 0 ? m : std::min(spectrum.mask[ch][band], m);
                tonal[band] += partitionTonality_[p];
                ++parts[band];
            }
            for (int band = 0; band < kMaxBands; ++band)
                spectrum.noiseLike[ch][band] = parts[band] > 0 && tonal[band] < kNoiseLikeTonality * parts[band];
        }
        position += n;
    }
}

void QualityEncoder::Quantise(float extraDb) {
    for (int b = 0; b < data_->blockCount; ++b)
        quantiser_.Code(*data_, b, spectra_[b], settings_.noiseToMaskDb + extraDb);
}

bool QualityEncoder::EncodeFrame(bool last, EncodedFrameSink& sink) {
    FrameData& f = *data_;
    auto planFor = [&](uint64_t frame) {
        return planner_.Plan((FrameOrigin(frame) - kStreamStart) / BlockPlanner::kSegment);
    };
    plan_ = frame_ == 0 ? planFor(0) : nextPlan_;
    nextPlan_ = last ? BlockPlan{1, {}} : planFor(frame_ + 1);
    f.index = frame_;
    f.blockCount = plan_.count;
    for (int b = 0; b < plan_.count; ++b) f.blocks[b].sizeIndex = plan_.sizeIndex[b];
    f.previousSize = frame_ == 0 ? plan_.sizeIndex[0] : lastSize_;
    f.nextSize = nextPlan_.sizeIndex[0];
    Transform();
    const size_t limit = packer_.NextFrameLimit();
    float extraDb = 0;
    Quantise(extraDb);
    // A frame over the limit gets coarser steps until it fits; one below the
    // superframes' floor gets finer ones, since the bits are spent anyway.
    size_t bits = writer_.Bits(f, true);
    while (bits > limit && extraDb < kMaxCoarserDb) {
        extraDb += kCapStepDb;
        Quantise(extraDb);
        bits = writer_.Bits(f, true);
    }
    // A frame that must run on into the next superframe may take what it
    // has to fill anyway, up to the most it may run on by.
    const size_t minimum = packer_.NextFrameMinimum();
    const size_t floor = std::max(packer_.FloorFrameBits(), minimum);
    const size_t ceiling = std::min(limit, minimum > 0 ? minimum + packer_.MaxRunOn() / 2 : floor);
    while (bits < floor && extraDb > kMaxFinerDb) {
        extraDb -= kFloorStepDb;
        Quantise(extraDb);
        const size_t finer = writer_.Bits(f, true);
        if (finer > ceiling) {
            Quantise(extraDb + kFloorStepDb);
            break;
        }
        bits = finer;
    }
    lastSize_ = plan_.sizeIndex[plan_.count - 1];
    ++frame_;
    return packer_.Add(f, sink);
}

}  // namespace wmsdk::standard
