// Helper of bench/wma_quality.sh.
//
//   wma_quality_bench disc DIR              writes DIR/disc.bin and disc.cue: a quiet
//                                           piece, a dense piece and near-silence
//   wma_quality_bench measure SOURCE FILE   decodes FILE (WMA or anything FFmpeg reads)
//                                           and compares it with SOURCE (raw s16le
//                                           stereo): samples, FFmpeg's messages, bit
//                                           rate, noise-to-mask ratio, SNR
//   wma_quality_bench speed SOURCE QUALITY  times the quality encoder on SOURCE, in
//                                           this thread, without file output
//
// The noise-to-mask ratio is the encoder's own psychoacoustic model applied
// to the source in 2048-sample blocks: the noise's energy per partition over
// the masking threshold, as the total NMR (the ratios' mean, in dB), their
// mean in dB (each floored at -30 dB), and the share of partitions where the
// noise is above the threshold.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "standard/mdct.h"
#include "standard/psy_model.h"
#include "standard/quality_encoder.h"

namespace {

using wmsdk::standard::kFrameLength;
constexpr double kRate = 44100.0;
constexpr double kTwoPi = 6.283185307179586;

struct Lcg {
    uint32_t s;
    double Next() {  // -1 .. 1
        s = s * 1664525u + 1013904223u;
        return (s >> 8) / 8388608.0 - 1.0;
    }
};

void Put(std::vector<int16_t>& pcm, size_t i, double l, double r) {
    pcm[2 * i] = static_cast<int16_t>(std::clamp(l, -1.0, 1.0) * 32767.0);
    pcm[2 * i + 1] = static_cast<int16_t>(std::clamp(r, -1.0, 1.0) * 32767.0);
}

// A soft solo line: plucked notes with a few decaying harmonics, about -30 dBFS.
void QuietPiece(std::vector<int16_t>& pcm, size_t from, size_t count) {
    const double notes[] = {220.0, 246.94, 261.63, 293.66, 329.63, 293.66, 261.63, 196.0};
    for (size_t i = 0; i < count; ++i) {
        const double t = i / kRate;
        const size_t note = static_cast<size_t>(t / 0.6);
        const double since = t - note * 0.6, f = notes[note % 8];
        double v = 0;
        for (int h = 1; h <= 5; ++h) v += std::sin(kTwoPi * f * h * t) * std::exp(-since * (2.0 + h)) / h;
        Put(pcm, from + i, 0.05 * v, 0.045 * v);
    }
}

// An orchestral tutti: a chord of twelve detuned voices with vibrato, noisy
// cymbal swells and a drum on every beat, about -12 dBFS.
void DensePiece(std::vector<int16_t>& pcm, size_t from, size_t count) {
    Lcg rng{7};
    double low = 0, band = 0;
    for (size_t i = 0; i < count; ++i) {
        const double t = i / kRate;
        double l = 0, r = 0;
        for (int v = 0; v < 12; ++v) {
            const double f = 110.0 * std::pow(2.0, (v * 5 % 24) / 12.0) * (1 + 0.004 * std::sin(kTwoPi * 5.1 * t + v));
            const double s = std::sin(kTwoPi * f * t + v) + 0.4 * std::sin(kTwoPi * 2 * f * t) +
                             0.2 * std::sin(kTwoPi * 3 * f * t);
            l += s * (0.5 + 0.04 * v);
            r += s * (0.98 - 0.04 * v);
        }
        const double noise = rng.Next();
        low += 0.02 * (noise - low);
        band = noise - low;  // high-passed noise: cymbals
        const double swell = 0.5 + 0.5 * std::sin(kTwoPi * 0.25 * t);
        const double beat = std::fmod(t, 0.5);
        const double drum = std::exp(-beat * 30.0) * std::sin(kTwoPi * 60.0 * beat) +
                            std::exp(-beat * 80.0) * rng.Next();
        Put(pcm, from + i, 0.02 * l + 0.12 * swell * band + 0.3 * drum,
            0.02 * r + 0.12 * swell * rng.Next() * 0.8 + 0.3 * drum);
    }
}

// Near-silence: noise at -80 dBFS with a click and a short tone every few seconds.
void NearSilence(std::vector<int16_t>& pcm, size_t from, size_t count) {
    Lcg rng{3};
    for (size_t i = 0; i < count; ++i) {
        const double t = i / kRate, at = std::fmod(t, 3.0);
        double v = 1e-4 * rng.Next();
        if (at < 0.002) v += 0.3 * rng.Next();
        if (at > 1.5 && at < 1.6) v += 0.1 * std::sin(kTwoPi * 880.0 * t) * std::sin(kTwoPi * 5.0 * (at - 1.5));
        Put(pcm, from + i, v, v);
    }
}

int WriteDisc(const std::string& dir, double seconds) {
    const size_t track = static_cast<size_t>(seconds * kRate) / 588 * 588;
    std::vector<int16_t> pcm(3 * track * 2);
    QuietPiece(pcm, 0, track);
    DensePiece(pcm, track, track);
    NearSilence(pcm, 2 * track, track);
    std::ofstream(dir + "/disc.bin", std::ios::binary).write(reinterpret_cast<const char*>(pcm.data()), pcm.size() * 2);
    std::ofstream cue(dir + "/disc.cue");
    cue << "PERFORMER \"Cadrix Bench\"\nTITLE \"Three Pieces\"\nFILE \"disc.bin\" BINARY\n";
    const char* titles[] = {"Quiet", "Dense", "Near Silence"};
    for (int t = 0; t < 3; ++t) {
        const size_t frames = t * track / 588;
        char line[160];
        std::snprintf(line, sizeof line, "  TRACK %02d AUDIO\n    TITLE \"%s\"\n    INDEX 01 %02zu:%02zu:%02zu\n",
                      t + 1, titles[t], frames / 75 / 60, frames / 75 % 60, frames % 75);
        cue << line;
    }
    return 0;
}

std::vector<int16_t> ReadRaw(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> pcm(bytes.size() / 2);
    std::copy_n(bytes.data(), pcm.size() * 2, reinterpret_cast<char*>(pcm.data()));
    return pcm;
}

std::vector<std::string> messages;

struct Decoded {
    std::vector<float> left, right;
    int64_t bytes = 0;
    bool ok = false;
};

Decoded Decode(const std::string& path) {
    Decoded d;
    av_log_set_callback([](void*, int level, const char* format, va_list args) {
        if (level > AV_LOG_WARNING) return;
        char line[512];
        std::vsnprintf(line, sizeof line, format, args);
        messages.emplace_back(line);
    });
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return d;
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> format(raw, [](AVFormatContext* f) {
        avformat_close_input(&f);
    });
    if (avformat_find_stream_info(format.get(), nullptr) < 0) return d;
    const int stream = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (stream < 0) return d;
    const AVCodecParameters* par = format->streams[stream]->codecpar;
    std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> ctx(avcodec_alloc_context3(
                                                                       avcodec_find_decoder(par->codec_id)),
                                                                   [](AVCodecContext* c) { avcodec_free_context(&c); });
    if (!ctx || avcodec_parameters_to_context(ctx.get(), par) < 0) return d;
    ctx->pkt_timebase = format->streams[stream]->time_base;
    if (avcodec_open2(ctx.get(), nullptr, nullptr) < 0) return d;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto drain = [&] {
        while (avcodec_receive_frame(ctx.get(), frame) == 0) {
            for (int i = 0; i < frame->nb_samples; ++i) {
                d.left.push_back(reinterpret_cast<const float*>(frame->data[0])[i]);
                d.right.push_back(reinterpret_cast<const float*>(frame->data[1])[i]);
            }
        }
    };
    while (av_read_frame(format.get(), packet) >= 0) {
        if (packet->stream_index == stream) {
            d.bytes += packet->size;
            avcodec_send_packet(ctx.get(), packet);
            drain();
        }
        av_packet_unref(packet);
    }
    avcodec_send_packet(ctx.get(), nullptr);
    drain();
    av_frame_free(&frame);
    av_packet_free(&packet);
    d.ok = ctx->sample_fmt == AV_SAMPLE_FMT_FLTP;
    return d;
}

struct Nmr {
    double total = 0, meanDb = 0, above = 0;
};

// Noise-to-mask ratio of `decoded` against `source`.
Nmr NoiseToMask(const std::vector<int16_t>& source, const Decoded& d) {
    using namespace wmsdk::standard;
    const auto layout = StreamLayout::For(40000, 0x1F);
    PsyModel model(*layout);
    Mdct mdct;
    std::array<MaskHistory, 2> history;
    const size_t n = std::min(source.size() / 2, d.left.size());
    std::vector<float> x(2 * kFrameLength), y(2 * kFrameLength), cx(kFrameLength), cy(kFrameLength), mask(kFrameLength);
    double sum = 0, sumDb = 0, above = 0, count = 0;
    for (size_t start = 0; start + 2 * kFrameLength <= n; start += kFrameLength) {
        for (int ch = 0; ch < 2; ++ch) {
            const std::vector<float>& out = ch == 0 ? d.left : d.right;
            for (int i = 0; i < 2 * kFrameLength; ++i) {
                x[i] = source[2 * (start + i) + ch];
                y[i] = out[start + i] * 32768.0f;
            }
            mdct.Transform(kFrameLength, kFrameLength, kFrameLength, x.data(), cx.data());
            mdct.Transform(kFrameLength, kFrameLength, kFrameLength, y.data(), cy.data());
            model.Mask(0, cx.data(), history[ch], mask.data());
            for (int p = 0; p < model.PartitionCount(0); ++p) {
                const Partition& part = model.PartitionAt(0, p);
                if (part.start >= 1864) break;  // above what WMA codes
                double noise = 0;
                for (int i = part.start; i < part.end; ++i) noise += (cy[i] - cx[i]) * (cy[i] - cx[i]);
                const double ratio = noise / (part.end - part.start) / mask[p];
                sum += ratio;
                sumDb += 10 * std::log10(std::max(ratio, 1e-3));
                above += ratio > 1.0;
                ++count;
            }
        }
    }
    if (count == 0) return {};
    return {10 * std::log10(sum / count), sumDb / count, above / count};
}

// Shifts `d` so that it lines up with `source` (a lag of up to 4096 samples,
// found on two seconds of the left channel, onsets included); returns the lag.
int Align(const std::vector<int16_t>& source, Decoded& d) {
    constexpr int kMaxLag = 4096, kSpan = 88200;
    const size_t from = std::min<size_t>(source.size() / 2 / 3, 22050);
    if (source.size() / 2 < from + kSpan + kMaxLag || d.left.size() < from + kSpan + kMaxLag) return 0;
    int best = 0;
    double bestError = -1;
    for (int lag = -kMaxLag; lag <= kMaxLag; ++lag) {
        double error = 0;
        for (size_t i = from; i < from + kSpan; ++i) {
            const double e = source[2 * i] / 32768.0 - d.left[static_cast<size_t>(static_cast<int64_t>(i) + lag)];
            error += e * e;
        }
        if (bestError < 0 || error < bestError) {
            bestError = error;
            best = lag;
        }
    }
    for (auto* channel : {&d.left, &d.right}) {
        if (best > 0) channel->erase(channel->begin(), channel->begin() + best);
        if (best < 0) channel->insert(channel->begin(), static_cast<size_t>(-best), 0.0f);
    }
    return best;
}

int Measure(const std::string& sourcePath, const std::string& path) {
    const std::vector<int16_t> source = ReadRaw(sourcePath);
    Decoded d = Decode(path);
    const size_t decoded = d.left.size();
    const int lag = Align(source, d);
    const size_t samples = source.size() / 2;
    double signal = 0, noise = 0;
    for (size_t i = 0; i < samples && i < d.left.size(); ++i) {
        for (int ch = 0; ch < 2; ++ch) {
            const double s = source[2 * i + ch] / 32768.0, e = s - (ch == 0 ? d.left[i] : d.right[i]);
            signal += s * s;
            noise += e * e;
        }
    }
    const Nmr nmr = NoiseToMask(source, d);
    std::printf("samples %zu decoded %zu lag %d messages %zu kbps %.1f nmr %.2f above %.3f snr %.2f mean %.2f\n",
                samples, decoded, lag, messages.size(), d.bytes * 8.0 / (samples / kRate) / 1000.0, nmr.total,
                nmr.above, 10 * std::log10(signal / std::max(noise, 1e-20)), nmr.meanDb);
    for (const std::string& m : messages) std::printf("  message: %s", m.c_str());
    return d.ok ? 0 : 1;
}

struct NullSink final : wmsdk::EncodedFrameSink {
    uint64_t bytes = 0;
    bool AddFrame(std::span<const uint8_t> object, const wmsdk::MediaObjectTiming&) override {
        bytes += object.size();
        return true;
    }
    bool ReplaceLastObject(std::span<const uint8_t>, uint64_t) override { return false; }
};

int Speed(const std::string& sourcePath, int quality) {
    const std::vector<int16_t> source = ReadRaw(sourcePath);
    const uint16_t blockAligns[] = {2230, 2973, 2973, 4459, 8917, 11889};
    const int level = std::clamp(quality, 0, 5);
    const uint32_t qualities[] = {10, 25, 50, 75, 90, 98};
    const std::array<uint8_t, 10> codec = {0x00, 0x88, 0x00, 0x00, 0x0F, 0x00, 0xAD, 0x45, 0x00, 0x00};
    auto encoder = wmsdk::standard::QualityEncoder::Create(
        wmsdk::standard::SettingsForQuality(qualities[level], blockAligns[level], codec));
    NullSink sink;
    const auto* bytes = reinterpret_cast<const uint8_t*>(source.data());
    const auto begin = std::chrono::steady_clock::now();
    for (size_t at = 0; at < source.size() * 2; at += 63504)
        encoder->Encode({bytes + at, std::min<size_t>(63504, source.size() * 2 - at)}, sink);
    encoder->Finish(sink);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    const double audio = source.size() / 2 / kRate;
    std::printf("quality %u: %.1f s of audio in %.3f s: %.0fx real time, %.1f kbit/s\n", qualities[level], audio,
                seconds, audio / seconds, sink.bytes * 8 / audio / 1000);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "disc" && argc >= 3) return WriteDisc(argv[2], argc > 3 ? std::atof(argv[3]) : 20.0);
    if (command == "measure" && argc == 4) return Measure(argv[2], argv[3]);
    if (command == "speed" && argc == 4) return Speed(argv[2], std::atoi(argv[3]));
    std::fprintf(stderr, "usage: wma_quality_bench disc DIR [SECONDS] | measure SOURCE FILE | speed SOURCE LEVEL\n");
    return 2;
}
