#include "standard/wma_standard_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

#include <algorithm>

namespace wmsdk {

void WmaStandardEncoder::ContextDeleter::operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
void WmaStandardEncoder::FrameDeleter::operator()(AVFrame* f) const { av_frame_free(&f); }
void WmaStandardEncoder::PacketDeleter::operator()(AVPacket* p) const { av_packet_free(&p); }

WmaStandardEncoder::WmaStandardEncoder() = default;
WmaStandardEncoder::~WmaStandardEncoder() = default;

bool WmaStandardEncoder::Open(int64_t bitRate) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
    if (!codec || bitRate < 24000) return false;
    context_.reset(avcodec_alloc_context3(codec));
    frame_.reset(av_frame_alloc());
    packet_.reset(av_packet_alloc());
    if (!context_ || !frame_ || !packet_) return false;
    context_->sample_rate = kSampleRate;
    context_->sample_fmt = AV_SAMPLE_FMT_FLTP;
    context_->bit_rate = bitRate - bitRate % 8;  // a whole number of bytes per second
    const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    if (av_channel_layout_copy(&context_->ch_layout, &stereo) < 0) return false;
    if (avcodec_open2(context_.get(), codec, nullptr) < 0) return false;
    if (context_->frame_size != kFrameSamples || context_->block_align <= 0 || context_->block_align > 65535)
        return false;

    frame_->format = AV_SAMPLE_FMT_FLTP;
    frame_->sample_rate = kSampleRate;
    frame_->nb_samples = kFrameSamples;
    if (av_channel_layout_copy(&frame_->ch_layout, &stereo) < 0) return false;
    if (av_frame_get_buffer(frame_.get(), 0) < 0) return false;

    // The codec's first frame only primes its overlap, and decoders drop it:
    // one frame of silence ahead of the audio keeps the first samples.
    filled_ = kFrameSamples;
    std::fill_n(reinterpret_cast<float*>(frame_->data[0]), kFrameSamples, 0.0f);
    std::fill_n(reinterpret_cast<float*>(frame_->data[1]), kFrameSamples, 0.0f);
    return true;
}

uint16_t WmaStandardEncoder::BlockAlign() const { return static_cast<uint16_t>(context_->block_align); }

// Decoders derive the codec's band limits from the stated byte rate, so it
// must be the rate the encoder was opened with, not the measured one.
uint32_t WmaStandardEncoder::AvgBytesPerSec() const { return static_cast<uint32_t>(context_->bit_rate / 8); }

std::span<const uint8_t> WmaStandardEncoder::CodecData() const {
    return {context_->extradata, static_cast<size_t>(std::max(context_->extradata_size, 0))};
}

bool WmaStandardEncoder::Encode(std::span<const uint8_t> pcm, EncodedFrameSink& sink) {
    if (!context_) return false;
    return reader_.Feed(pcm, [&](const uint8_t* p, size_t count) {
        while (count > 0) {
            if (filled_ == kFrameSamples && !SendFrame(sink)) return false;
            // Fill the rest of the frame in one tight loop.
            const size_t n = std::min(count, size_t(kFrameSamples - filled_));
            float* left = reinterpret_cast<float*>(frame_->data[0]) + filled_;
            float* right = reinterpret_cast<float*>(frame_->data[1]) + filled_;
            for (size_t k = 0; k < n; ++k, p += 4) {
                left[k] = PcmSample(p) / 32768.0f;
                right[k] = PcmSample(p + 2) / 32768.0f;
            }
            filled_ += static_cast<int>(n);
            delivered_ += n;
            count -= n;
        }
        return true;
    });
}

bool WmaStandardEncoder::SendFrame(EncodedFrameSink& sink) {
    frame_->pts = static_cast<int64_t>(framesSent_ * kFrameSamples);
    if (avcodec_send_frame(context_.get(), frame_.get()) < 0) return false;
    ++framesSent_;
    filled_ = 0;
    if (!Drain(sink)) return false;
    // The encoder may still hold a reference to the frame's data.
    return av_frame_make_writable(frame_.get()) >= 0;
}

bool WmaStandardEncoder::Drain(EncodedFrameSink& sink) {
    for (;;) {
        const int rc = avcodec_receive_packet(context_.get(), packet_.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
        if (rc < 0) return false;
        const uint64_t first = packetsOut_ * kFrameSamples;
        ++packetsOut_;
        // A decoder lags one frame behind and drops the priming frame's
        // output, so frame k completes the audio before sample k x 2048.
        MediaObjectTiming timing;
        timing.presentationSample = first;
        timing.endSample = first + kFrameSamples;
        timing.seekSample = first;
        timing.completeSamples = first;
        const bool ok = sink.AddFrame({packet_->data, static_cast<size_t>(packet_->size)}, timing);
        av_packet_unref(packet_.get());
        if (!ok) return false;
    }
}

bool WmaStandardEncoder::Finish(EncodedFrameSink& sink) {
    if (!context_) return false;
    reader_.DropPartial();
    if (filled_ > 0) {
        std::fill(reinterpret_cast<float*>(frame_->data[0]) + filled_,
                  reinterpret_cast<float*>(frame_->data[0]) + kFrameSamples, 0.0f);
        std::fill(reinterpret_cast<float*>(frame_->data[1]) + filled_,
                  reinterpret_cast<float*>(frame_->data[1]) + kFrameSamples, 0.0f);
        filled_ = kFrameSamples;
        if (!SendFrame(sink)) return false;
    }
    // The encoder keeps one frame of overlap and has no flush of its own:
    // a frame of silence pushes the last samples out.
    std::fill_n(reinterpret_cast<float*>(frame_->data[0]), kFrameSamples, 0.0f);
    std::fill_n(reinterpret_cast<float*>(frame_->data[1]), kFrameSamples, 0.0f);
    filled_ = kFrameSamples;
    if (!SendFrame(sink)) return false;
    if (avcodec_send_frame(context_.get(), nullptr) < 0) return false;
    return Drain(sink);
}

}  // namespace wmsdk
