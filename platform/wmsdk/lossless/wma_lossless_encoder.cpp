#include "lossless/wma_lossless_encoder.h"

#include <algorithm>

namespace wmsdk {

using lossless::kChannels;
using lossless::kTileSamples;
using lossless::PredictorConfig;
using lossless::PredictorState;

namespace {

// A seekable frame costs the predictors' warm-up; about one per second
// (21 frames are 0.975 s) keeps seeking close and the cost small.
constexpr uint64_t kSeekableInterval = 21;

// Percent by which another candidate must beat the first on a segment's first frame.
constexpr size_t kMargin = 6;
// Percent of the raw size under which the first candidate is kept untried.
constexpr size_t kTryOthersPercent = 60;

// Tried on the first frame of every seekable segment; the smallest coded
// frame's parameters hold until the next seekable frame. The first, with its
// long filter, is the best over whole segments of most music; the others
// serve stereo whose channels are unrelated and noise-like audio. (A 256-tap
// first filter codes the generated test disc 1.6 % smaller but is 10 %
// slower, and worse on music with noise in it.)
const PredictorConfig kCandidates[] = {
    {true, true, 8, 13, {128, 32}, {14, 12}, 6},
    {false, true, 8, 13, {128, 32}, {14, 12}, 6},
    {true, true, 8, 13, {32, 16}, {12, 11}, 6},
};

}  // namespace

struct WmaLosslessEncoder::Trial {
    std::unique_ptr<PredictorState> state = std::make_unique<PredictorState>();
    std::array<std::array<int32_t, kTileSamples>, kChannels> work{};
    BitWriter bits;
};

WmaLosslessEncoder::WmaLosslessEncoder()
    : state_(std::make_unique<PredictorState>()),
      best_(std::make_unique<Trial>()),
      candidate_(std::make_unique<Trial>()) {
    for (auto& channel : rawSamples_) channel.resize(kTileSamples);
}

WmaLosslessEncoder::~WmaLosslessEncoder() = default;

bool WmaLosslessEncoder::Encode(std::span<const uint8_t> pcm, EncodedFrameSink& sink) {
    return reader_.Feed(pcm, [&](const uint8_t* p, size_t count) {
        while (count > 0) {
            const size_t n = std::min(count, size_t(kTileSamples - filled_));
            int16_t* left = input_[0].data() + filled_;
            int16_t* right = input_[1].data() + filled_;
            for (size_t k = 0; k < n; ++k, p += 4) {
                left[k] = PcmSample(p);
                right[k] = PcmSample(p + 2);
            }
            filled_ += static_cast<int>(n);
            delivered_ += n;
            count -= n;
            if (filled_ == kTileSamples && !EncodeFrame(kTileSamples, sink)) return false;
        }
        return true;
    });
}

bool WmaLosslessEncoder::Finish(EncodedFrameSink& sink) {
    reader_.DropPartial();
    if (filled_ > 0) {
        // The decoder drops the padding (the end skip); repeating the last
        // sample keeps it cheap to code.
        const int valid = filled_;
        for (auto& channel : input_)
            std::fill(channel.begin() + valid, channel.end(), channel[static_cast<size_t>(valid - 1)]);
        if (!EncodeFrame(valid, sink)) return false;
    }
    return packetiser_.Finish(sink);
}

int WmaLosslessEncoder::PaddingZeroes() const {
    uint32_t bits = 0;
    for (const auto& channel : input_) {
        for (int16_t v : channel) bits |= static_cast<uint16_t>(v);
    }
    if (bits == 0) return 0;  // digital silence: both channels go uncoded
    return std::min(__builtin_ctz(bits), lossless::kBitsPerSample - 1);
}

void WmaLosslessEncoder::CodeTile(Trial& trial, const PredictorState& from, const PredictorConfig* restart, int endSkip,
                                  int paddingZeroes) {
    PredictorState& state = *trial.state;
    state = from;
    const bool seekable = restart != nullptr;
    if (seekable) state.StartSeekableTile(*restart);
    const PredictorConfig& config = state.config;

    int32_t* x0 = trial.work[0].data();
    int32_t* x1 = trial.work[1].data();
    for (int i = 0; i < kTileSamples; ++i) {
        x0[i] = input_[0][static_cast<size_t>(i)] >> paddingZeroes;
        x1[i] = input_[1][static_cast<size_t>(i)] >> paddingZeroes;
    }
    if (config.interChannel) lossless::Decorrelate(x0, x1, kTileSamples);
    lossless::CodedTile tile;
    tile.residuals = {x0, x1};
    tile.paddingZeroes = paddingZeroes;
    tile.seekable = seekable;
    for (int c = 0; c < kChannels; ++c) {
        const int32_t* x = trial.work[static_cast<size_t>(c)].data();
        tile.coded[static_cast<size_t>(c)] = std::any_of(x, x + kTileSamples, [](int32_t v) { return v != 0; });
    }
    // The decoder runs the MCLMS on every tile of a stream that has it,
    // uncoded channels included.
    if (config.mclms) state.mclms.Analyse({x0, x1}, tile.coded, kTileSamples);
    for (int c = 0; c < kChannels; ++c) {
        if (tile.coded[static_cast<size_t>(c)])
            state.AnalyseChannel(c, trial.work[static_cast<size_t>(c)].data(), kTileSamples, seekable);
    }
    trial.bits.Reset();
    lossless::WriteFrameStart(trial.bits, endSkip);
    lossless::WriteTileStart(trial.bits, seekable, config, false);
    lossless::WriteCodedBody(trial.bits, tile, config, state.aveSum);
}

void WmaLosslessEncoder::WriteRawFrame(int endSkip, int paddingZeroes, bool seekable, const PredictorConfig& config) {
    for (int c = 0; c < kChannels; ++c) {
        for (int i = 0; i < kTileSamples; ++i)
            rawSamples_[static_cast<size_t>(c)][static_cast<size_t>(i)] =
                input_[static_cast<size_t>(c)][static_cast<size_t>(i)] >> paddingZeroes;
    }
    raw_.Reset();
    lossless::WriteFrameStart(raw_, endSkip);
    lossless::WriteTileStart(raw_, seekable, config, true);
    lossless::WriteRawBody(raw_, {rawSamples_[0].data(), rawSamples_[1].data()}, paddingZeroes);
}

bool WmaLosslessEncoder::EncodeFrame(int valid, EncodedFrameSink& sink) {
    const int endSkip = kTileSamples - valid;
    const bool seekable = frames_ == 0 ||
                          (framesSinceSeekable_ >= kSeekableInterval && packetiser_.NextFrameStartsPacket());
    const int paddingZeroes = PaddingZeroes();
    if (seekable) {
        size_t smallest = SIZE_MAX;
        for (const PredictorConfig& config : kCandidates) {
            // The others are for audio the first predicts poorly: noise and
            // stereo whose channels are unrelated. Where it codes the frame in
            // well under raw size they do not win, and are not tried.
            if (&config != kCandidates && smallest < lossless::RawBodyBits(paddingZeroes) * kTryOthersPercent / 100)
                break;
            CodeTile(*candidate_, *state_, &config, endSkip, paddingZeroes);
            // The first candidate adapts slowest and is the best over a whole
            // segment; another one must win the first frame clearly.
            const size_t bits = &config == kCandidates ? candidate_->bits.Bits() * 100 / (100 + kMargin)
                                                       : candidate_->bits.Bits();
            if (bits < smallest) {
                smallest = bits;
                std::swap(best_, candidate_);
            }
        }
    } else {
        CodeTile(*best_, *state_, nullptr, endSkip, paddingZeroes);
    }
    const PredictorConfig config = best_->state->config;

    // A raw tile costs the same frame start and parameters plus the samples.
    raw_.Reset();
    lossless::WriteFrameStart(raw_, endSkip);
    lossless::WriteTileStart(raw_, seekable, config, true);
    const size_t rawBits = raw_.Bits() + lossless::RawBodyBits(paddingZeroes);
    BitWriter* frame = &best_->bits;
    if (best_->bits.Bits() < rawBits) {
        std::swap(state_, best_->state);
    } else {
        // Raw tiles leave the predictors as they were (reset, in a seekable tile).
        if (seekable) state_->StartSeekableTile(config);
        WriteRawFrame(endSkip, paddingZeroes, seekable, config);
        frame = &raw_;
    }
    const size_t bits = frame->Bits();
    const uint64_t first = frames_ * kTileSamples;
    ++frames_;
    framesSinceSeekable_ = seekable ? 1 : framesSinceSeekable_ + 1;
    filled_ = 0;
    return packetiser_.AddFrame(frame->Bytes(), bits, seekable, first, static_cast<uint32_t>(valid), sink);
}

}  // namespace wmsdk
