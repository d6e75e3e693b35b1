// WMA Lossless files written by the real cadrix_wma.so and read back with
// libavformat and FFmpeg's wmalossless decoder: each signal below is chosen
// to break the encoder where it is fragile, and must come back bit for bit,
// with the header's duration, and without a single FFmpeg warning.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cadrix_plugin.h"
#include "plugin_module.h"
#include "wma_test_audio.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kBlockBytes = 63504;
constexpr int32_t kLossless = QUALITY_LOSSLESS_FLAG;

plugin_test::PluginModule& TheModule() {
    static plugin_test::PluginModule plugin(CADRIX_WMA_MODULE);
    return plugin;
}

std::vector<std::string>& FfmpegLog() {
    static std::vector<std::string> lines;
    return lines;
}

void CaptureFfmpegLog() {
    av_log_set_callback([](void*, int level, const char* format, va_list arguments) {
        if (level > AV_LOG_WARNING) return;
        char line[512];
        std::vsnprintf(line, sizeof line, format, arguments);
        FfmpegLog().push_back(line);
    });
}

struct Decoded {
    bool opened = false;
    int codecTag = 0;
    int blockAlign = 0;
    std::vector<uint8_t> extradata;
    int64_t durationUs = 0;
    std::vector<int16_t> pcm;              // interleaved
    std::vector<uint32_t> packetPrevBits;  // each WMA packet's "bits of the previous frame"
    std::vector<std::string> log;          // FFmpeg's warnings and errors
};

Decoded Decode(const fs::path& file) {
    Decoded d;
    FfmpegLog().clear();
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, file.c_str(), nullptr, nullptr) < 0) return d;
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> format(raw, [](AVFormatContext* f) {
        avformat_close_input(&f);
    });
    if (avformat_find_stream_info(format.get(), nullptr) < 0 || format->nb_streams != 1) return d;
    const AVCodecParameters* par = format->streams[0]->codecpar;
    d.codecTag = static_cast<int>(par->codec_tag);
    d.blockAlign = par->block_align;
    d.extradata.assign(par->extradata, par->extradata + par->extradata_size);
    d.durationUs = format->duration;
    std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> ctx(avcodec_alloc_context3(
                                                                       avcodec_find_decoder(par->codec_id)),
                                                                   [](AVCodecContext* c) { avcodec_free_context(&c); });
    if (!ctx || avcodec_parameters_to_context(ctx.get(), par) < 0 || avcodec_open2(ctx.get(), nullptr, nullptr) < 0)
        return d;
    std::unique_ptr<AVPacket, void (*)(AVPacket*)> packet(av_packet_alloc(), [](AVPacket* p) { av_packet_free(&p); });
    std::unique_ptr<AVFrame, void (*)(AVFrame*)> frame(av_frame_alloc(), [](AVFrame* f) { av_frame_free(&f); });
    auto drain = [&] {
        while (avcodec_receive_frame(ctx.get(), frame.get()) == 0) {
            const auto* l = reinterpret_cast<const int16_t*>(frame->data[0]);
            const auto* r = reinterpret_cast<const int16_t*>(frame->data[1]);
            for (int i = 0; i < frame->nb_samples; ++i) d.pcm.insert(d.pcm.end(), {l[i], r[i]});
        }
    };
    while (av_read_frame(format.get(), packet.get()) >= 0) {
        const uint8_t* p = packet->data;
        if (packet->size >= 3) d.packetPrevBits.push_back(((p[0] & 3u) << 15) | (p[1] << 7) | (p[2] >> 1));
        if (avcodec_send_packet(ctx.get(), packet.get()) < 0) FfmpegLog().push_back("send_packet failed");
        av_packet_unref(packet.get());
        drain();
    }
    avcodec_send_packet(ctx.get(), nullptr);
    drain();
    d.opened = ctx->sample_fmt == AV_SAMPLE_FMT_S16P && ctx->ch_layout.nb_channels == 2;
    d.log = FfmpegLog();
    return d;
}

std::vector<int16_t> Samples(const std::vector<uint8_t>& pcm) {
    std::vector<int16_t> s(pcm.size() / 2);
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int16_t>(pcm[2 * i] | (pcm[2 * i + 1] << 8));
    return s;
}

std::vector<uint8_t> Bytes(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> b(samples.size() * 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        b[2 * i] = static_cast<uint8_t>(samples[i]);
        b[2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(samples[i]) >> 8);
    }
    return b;
}

// Interleaved stereo from a function of (sample index, channel).
std::vector<uint8_t> Signal(size_t frames, const std::function<int(size_t, int)>& value) {
    std::vector<int16_t> s(frames * 2);
    for (size_t i = 0; i < frames; ++i)
        for (int c = 0; c < 2; ++c) s[2 * i + c] = static_cast<int16_t>(value(i, c));
    return Bytes(s);
}

uint32_t Hash(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    return x ^ (x >> 16);
}

// Writes `pcm` as a lossless track and checks the file decodes to exactly it.
Decoded RoundTrip(const fs::path& base, const std::vector<uint8_t>& pcm, uint32_t blockBytes = kBlockBytes) {
    EXPECT_TRUE(TheModule().WriteTrack(base, kLossless, nullptr, pcm, blockBytes));
    Decoded d = Decode(base.string() + ".wma");
    EXPECT_TRUE(d.opened);
    EXPECT_TRUE(d.pcm == Samples(pcm)) << d.pcm.size() / 2 << " of " << pcm.size() / 4 << " samples back";
    EXPECT_TRUE(d.log.empty()) << d.log.front();
    // The header states the duration to 100 ns; FFmpeg reads it to 1 ms,
    // and not at all below that.
    if (pcm.size() / 4 >= 441) {
        EXPECT_NEAR(static_cast<double>(d.durationUs), pcm.size() / 4 * 1e6 / 44100, 1000.0);
    }
    return d;
}

}  // namespace

TEST(WmaLossless, SignalsThatStressTheEncoderDecodeBitExactly) {
    ASSERT_NE(TheModule().handle, nullptr);
    CaptureFfmpegLog();
    plugin_test::TempDir dir;
    const size_t second = 44100;
    const std::vector<std::pair<const char*, std::vector<uint8_t>>> signals = {
        {"music", MakeMusicPcm(5 * second, 11)},
        {"silence", std::vector<uint8_t>(2 * second * 4, 0)},
        // Incompressible: every frame falls back to raw PCM.
        {"noise", Signal(second, [](size_t i, int c) { return int(Hash(uint32_t(2 * i + c)) >> 16) - 32768; })},
        {"square", Signal(second, [](size_t i, int c) { return (i / (37 + 11 * c)) % 2 ? 32767 : -32768; })},
        {"opposed", Signal(second,
                           [](size_t i, int c) {
                               const int v = static_cast<int>(Hash(uint32_t(i / 3)) % 65535) - 32767;
                               return c == 0 ? v : -v;
                           })},
        // Long runs of zeros drive the Rice parameter to 0; the impulses'
        // sizes then cross the escape threshold of 32 ones.
        {"impulses", Signal(3 * second,
                            [](size_t i, int c) {
                                if ((i + 97 * c) % 409 != 0) return 0;
                                const uint32_t h = Hash(uint32_t(i));
                                return static_cast<int>(h % 48) - 24 + ((h >> 8) % 7 == 0 ? int(h >> 20) - 2048 : 0);
                            })},
        // Every sample a multiple of 4: "padding zeroes" of 2 bits.
        {"even",
         [] {
             std::vector<int16_t> s = Samples(MakeMusicPcm(2 * 44100, 3));
             for (int16_t& v : s) v = static_cast<int16_t>(v & ~3);
             return Bytes(s);
         }()},
    };
    for (const auto& [name, pcm] : signals) {
        SCOPED_TRACE(name);
        RoundTrip(dir.path() / name, pcm);
        const double ratio = double(fs::file_size(dir.path() / (std::string(name) + ".wma"))) / double(pcm.size());
        std::printf("[ SIZE     ] %-8s %.3f of the PCM\n", name, ratio);
    }
    // Blocks of one CD frame, and blocks that split a sample frame.
    RoundTrip(dir.path() / "frames", MakeMusicPcm(588 * 100, 5), 2352);
    RoundTrip(dir.path() / "split", MakeMusicPcm(30000, 6), 4099);
}

TEST(WmaLossless, TracksOfAnyLengthDecodeToExactlyTheirSamples) {
    ASSERT_NE(TheModule().handle, nullptr);
    CaptureFfmpegLog();
    plugin_test::TempDir dir;
    for (size_t frames : {size_t{0}, size_t{1}, size_t{2047}, size_t{2048}, size_t{2049}, size_t{21 * 2048 + 5}}) {
        SCOPED_TRACE(frames);
        const Decoded d = RoundTrip(dir.path() / std::to_string(frames), MakeMusicPcm(frames, 8));
        EXPECT_EQ(d.codecTag, 0x0163);
        EXPECT_EQ(d.blockAlign, 13375);
        EXPECT_EQ(d.extradata, (std::vector<uint8_t>{0x10, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x21, 0, 0, 0}));
    }
}

// A frame that ends exactly where a packet ends leaves the next packet
// without bits of an earlier frame. Frames of digital silence are a dozen
// bits each: after a frame of noise whose coded size grows with its level, a
// run of silent frames meets the packet's end exactly for some level.
TEST(WmaLossless, AFrameEndingExactlyAtAPacketEndDecodesExactly) {
    ASSERT_NE(TheModule().handle, nullptr);
    CaptureFfmpegLog();
    plugin_test::TempDir dir;
    auto track = [](int level) {
        return Signal(100 * 2048, [level](size_t i, int c) {
            const int noise = int(Hash(uint32_t(2 * i + c)) >> 16) - 32768;
            if (i < 2048) return noise;
            return i < 4096 ? noise * level / 32768 : 0;
        });
    };
    // Bits of the frame that spans into the second packet; none without one.
    auto spill = [&](int level, Decoded* out) {
        const fs::path base = dir.path() / std::to_string(level);
        EXPECT_TRUE(TheModule().WriteTrack(base, kLossless, nullptr, track(level), kBlockBytes));
        Decoded d = Decode(base.string() + ".wma");
        const int64_t bits = d.packetPrevBits.size() > 1 ? int64_t(d.packetPrevBits[1]) : -1;
        if (out) *out = std::move(d);
        return bits;
    };
    // The lowest level whose silence reaches the second packet, then upwards
    // until a frame ends on the packet's end or the noise frame crosses it
    // (a last packet holding only the end of the last frame claims it all).
    int low = 16, high = 4096;
    while (low + 1 < high) {
        const int middle = (low + high) / 2;
        (spill(middle, nullptr) < 0 ? low : high) = middle;
    }
    Decoded d;
    int level = high;
    auto inSilence = [](int64_t bits) { return (bits > 0 && bits < 12) || bits == 106977; };
    for (int64_t bits = spill(level, &d); inSilence(bits) && level < high + 300; bits = spill(++level, &d)) {}
    SCOPED_TRACE(level);
    ASSERT_EQ(d.packetPrevBits.size() > 1 ? d.packetPrevBits[1] : 1u, 0u);
    EXPECT_TRUE(d.pcm == Samples(track(level)));
    EXPECT_TRUE(d.log.empty()) << d.log.front();
}

// A file size limit stands in for a full disk, in a child process so that
// the limit stays there. What is left decodes without an error to whole
// packets, as many samples as the header states: for WMA Lossless exactly the
// first samples of the track.
TEST(WmaFullDisk, AFailedWriteLeavesAFileThatDecodesCleanly) {
    ASSERT_NE(TheModule().handle, nullptr);
    CaptureFfmpegLog();
    plugin_test::TempDir dir;
    const std::vector<uint8_t> pcm = MakeMusicPcm(20 * 44100, 9);
    for (const int32_t quality : {5, QUALITY_VBR_FLAG | 3, kLossless}) {
        SCOPED_TRACE(quality);
        const fs::path base = dir.path() / ("full" + std::to_string(quality));
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            signal(SIGXFSZ, SIG_IGN);
            const rlim_t size = quality == kLossless ? 1'000'000 : 150'000;
            const rlimit limit{size, size};
            setrlimit(RLIMIT_FSIZE, &limit);
            _exit(TheModule().WriteTrack(base, quality, nullptr, pcm, kBlockBytes) ? 1 : 0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "the track did not fail";
        const fs::path file = base.string() + ".wma";
        EXPECT_LE(fs::file_size(file), 1'000'000u);
        const Decoded d = Decode(file);
        const int64_t duration = d.durationUs;
        EXPECT_TRUE(d.log.empty()) << d.log.front();
        const size_t samples = d.pcm.size() / 2;
        EXPECT_GT(samples, 0u);
        std::printf("[ FULL     ] quality 0x%02X: %zu samples decoded, header %.3f s\n", quality, samples,
                    duration / 1e6);
        EXPECT_NEAR(static_cast<double>(duration), samples * 1e6 / 44100, 1000.0);
        if (quality == kLossless) {
            EXPECT_TRUE(std::equal(d.pcm.begin(), d.pcm.end(), Samples(pcm).begin()));
        } else {
            EXPECT_EQ(samples % 2048, 0u);
        }
    }
}
