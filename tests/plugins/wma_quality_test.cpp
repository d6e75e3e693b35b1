// The six quality-based WMA profiles through the real cadrix_wma.so, read
// back with libavformat and FFmpeg's wmav2 decoder: no message from FFmpeg,
// every sample back, a bit rate that follows the music and the quality, and
// a seek through the file's index that lands on the right audio.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cadrix_plugin.h"
#include "plugin_module.h"
#include "wma_test_audio.h"

namespace fs = std::filesystem;

namespace {

constexpr int kSeconds = 12;
constexpr size_t kSamples = 44100 * kSeconds;
constexpr int kVbr = QUALITY_VBR_FLAG;

plugin_test::PluginModule& TheModule() {
    static plugin_test::PluginModule plugin(CADRIX_WMA_MODULE);
    return plugin;
}

std::vector<std::string>& Log() {
    static std::vector<std::string> lines;
    return lines;
}

struct Decoded {
    std::vector<float> left, right;
    int64_t durationUs = 0, firstPts = -1;
    int codecTag = 0, blockAlign = 0;
    std::string isVbr;
    bool opened = false;
};

// Decodes `file` as a player does; with `seekTo` (seconds), from a seek there.
Decoded Decode(const fs::path& file, double seekTo = -1) {
    Decoded d;
    Log().clear();
    av_log_set_callback([](void*, int level, const char* format, va_list args) {
        if (level > AV_LOG_WARNING) return;
        char line[512];
        std::vsnprintf(line, sizeof line, format, args);
        Log().push_back(line);
    });
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, file.c_str(), nullptr, nullptr) < 0) return d;
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> format(raw, [](AVFormatContext* f) {
        avformat_close_input(&f);
    });
    if (avformat_find_stream_info(format.get(), nullptr) < 0) return d;
    const AVStream* stream = format->streams[0];
    d.codecTag = static_cast<int>(stream->codecpar->codec_tag);
    d.blockAlign = stream->codecpar->block_align;
    d.durationUs = format->duration;
    if (const AVDictionaryEntry* e = av_dict_get(format->metadata, "IsVBR", nullptr, 0)) d.isVbr = e->value;
    std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> ctx(avcodec_alloc_context3(avcodec_find_decoder(
                                                                       stream->codecpar->codec_id)),
                                                                   [](AVCodecContext* c) { avcodec_free_context(&c); });
    if (!ctx || avcodec_parameters_to_context(ctx.get(), stream->codecpar) < 0) return d;
    ctx->pkt_timebase = stream->time_base;
    if (avcodec_open2(ctx.get(), nullptr, nullptr) < 0) return d;
    if (seekTo >= 0 && av_seek_frame(format.get(), 0, static_cast<int64_t>(seekTo * 1000), AVSEEK_FLAG_BACKWARD) < 0)
        return d;
    std::unique_ptr<AVPacket, void (*)(AVPacket*)> packet(av_packet_alloc(), [](AVPacket* p) { av_packet_free(&p); });
    std::unique_ptr<AVFrame, void (*)(AVFrame*)> frame(av_frame_alloc(), [](AVFrame* f) { av_frame_free(&f); });
    auto drain = [&] {
        while (avcodec_receive_frame(ctx.get(), frame.get()) == 0) {
            if (d.firstPts < 0) d.firstPts = frame->pts;
            const auto* l = reinterpret_cast<const float*>(frame->data[0]);
            const auto* r = reinterpret_cast<const float*>(frame->data[1]);
            d.left.insert(d.left.end(), l, l + frame->nb_samples);
            d.right.insert(d.right.end(), r, r + frame->nb_samples);
        }
    };
    while (av_read_frame(format.get(), packet.get()) >= 0) {
        if (avcodec_send_packet(ctx.get(), packet.get()) < 0) Log().push_back("send_packet failed");
        av_packet_unref(packet.get());
        drain();
    }
    avcodec_send_packet(ctx.get(), nullptr);
    drain();
    d.opened = true;
    return d;
}

// SNR (dB) of `d` from decoded sample `at` against the source from `from`.
double Snr(const std::vector<uint8_t>& pcm, const Decoded& d, size_t from, size_t at, size_t count) {
    double signal = 0, noise = 0;
    for (size_t i = 0; i < count && from + i < pcm.size() / 4 && at + i < d.left.size(); ++i) {
        for (int c = 0; c < 2; ++c) {
            const size_t b = (from + i) * 4 + c * 2;
            const double x = static_cast<int16_t>(pcm[b] | (pcm[b + 1] << 8)) / 32768.0;
            const double e = x - (c == 0 ? d.left : d.right)[at + i];
            signal += x * x;
            noise += e * e;
        }
    }
    return 10 * std::log10(signal / std::max(noise, 1e-20));
}

// Near-silence: noise at -80 dBFS with a click every two seconds.
std::vector<uint8_t> NearSilence(size_t samples) {
    std::vector<uint8_t> pcm(samples * 4);
    uint32_t state = 5;
    for (size_t i = 0; i < samples; ++i) {
        state = state * 1664525u + 1013904223u;
        int v = static_cast<int>(state >> 29) - 4;
        if (i % 88200 < 64) v = static_cast<int>(state >> 18) - 8192;
        for (int b = 0; b < 4; b += 2) {
            pcm[i * 4 + b] = static_cast<uint8_t>(v & 0xFF);
            pcm[i * 4 + b + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
        }
    }
    return pcm;
}

double KbitPerSecond(const fs::path& file) { return fs::file_size(file) * 8.0 / kSeconds / 1000.0; }

}  // namespace

TEST(WmaQuality, EveryQualityDecodesWithoutAMessageToEverySample) {
    ASSERT_NE(TheModule().handle, nullptr);
    plugin_test::TempDir dir;
    const std::vector<uint8_t> music = MakeMusicPcm(kSamples, 11);
    const uint16_t blockAligns[] = {2230, 2973, 2973, 4459, 8917, 11889};
    for (int level = 0; level < 6; ++level) {
        SCOPED_TRACE(level);
        const fs::path base = dir.path() / ("music" + std::to_string(level));
        ASSERT_TRUE(TheModule().WriteTrack(base, kVbr | level, nullptr, music, 63504));
        const Decoded d = Decode(base.string() + ".wma");
        ASSERT_TRUE(d.opened);
        EXPECT_TRUE(Log().empty()) << Log().front();
        EXPECT_EQ(d.codecTag, 0x0161);
        EXPECT_EQ(d.isVbr, "1");
        EXPECT_EQ(d.blockAlign, blockAligns[level]);
        EXPECT_NEAR(static_cast<double>(d.durationUs), kSeconds * 1e6, 1000);
        // Every sample, then less than two frames of silence.
        ASSERT_GE(d.left.size(), kSamples);
        EXPECT_LT(d.left.size(), kSamples + 4096);
        const double snr = Snr(music, d, 0, 0, kSamples);
        std::printf("[ QUALITY  ] level %d: %.1f kbit/s, SNR %.1f dB\n", level, KbitPerSecond(base.string() + ".wma"),
                    snr);
        EXPECT_GT(snr, 6.0 + level);
        EXPECT_GT(Snr(music, d, kSamples - 44100, kSamples - 44100, 44100), 6.0);  // the end is there too
    }
}

TEST(WmaQuality, TheBitRateFollowsTheMusicAndGrowsWithTheQuality) {
    ASSERT_NE(TheModule().handle, nullptr);
    plugin_test::TempDir dir;
    const std::vector<uint8_t> music = MakeMusicPcm(kSamples, 12);
    const std::vector<uint8_t> silence = NearSilence(kSamples);
    double previous[2] = {0, 0};
    for (int level = 0; level < 6; ++level) {
        SCOPED_TRACE(level);
        double rate[2];
        for (int piece = 0; piece < 2; ++piece) {
            const fs::path base = dir.path() / (std::to_string(piece) + "-" + std::to_string(level));
            ASSERT_TRUE(TheModule().WriteTrack(base, kVbr | level, nullptr, piece == 0 ? music : silence, 63504));
            rate[piece] = KbitPerSecond(base.string() + ".wma");
            EXPECT_GE(rate[piece], previous[piece]);
            previous[piece] = rate[piece];
        }
        std::printf("[ RATE     ] level %d: music %.1f kbit/s, near-silence %.1f kbit/s\n", level, rate[0], rate[1]);
        if (level == 3) {
            EXPECT_LE(rate[1], rate[0] / 2);
        }
        EXPECT_LT(rate[1], rate[0]);
    }
}

TEST(WmaQuality, TheIndexSeeksToTheRightAudio) {
    ASSERT_NE(TheModule().handle, nullptr);
    plugin_test::TempDir dir;
    const std::vector<uint8_t> music = MakeMusicPcm(kSamples, 13);
    const fs::path file = dir.path() / "seek.wma";
    ASSERT_TRUE(TheModule().WriteTrack(dir.path() / "seek", kVbr | 3, nullptr, music, 63504));
    for (const double target : {4.0, 8.5}) {
        SCOPED_TRACE(target);
        const Decoded d = Decode(file, target);
        ASSERT_TRUE(d.opened);
        EXPECT_TRUE(Log().empty()) << Log().front();
        // The index has an entry a second: decoding starts at most that far before.
        const double start = d.firstPts / 1000.0;
        EXPECT_LE(start, target);
        EXPECT_GE(start, target - 1.5);
        ASSERT_GT(d.left.size(), 44100u);
        // After the first frame, the audio is the source's at the stated
        // time, give or take the frame a decoder cannot finish after a seek.
        double best = -100;
        const auto from = static_cast<size_t>(start * 44100);
        for (int shift = -2048; shift <= 2048; shift += 2048)
            best = std::max(best, Snr(music, d, from + 4096 + shift, 4096, 22050));
        EXPECT_GT(best, 10.0);
    }
}
