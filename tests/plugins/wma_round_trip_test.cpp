// Writes .wma files through the real cadrix_wma.so at every profile and reads
// them back with FFmpeg: tags, duration, sample count and the audio itself.
#include <dlfcn.h>
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cadrix_plugin.h"
#include "plugin_module.h"
#include "wma_test_audio.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kBlockBytes = 63504;

using Plugin = plugin_test::PluginModule;
using plugin_test::TempDir;

Plugin& TheModule() {
    static Plugin plugin(CADRIX_WMA_MODULE);
    return plugin;
}

struct Decoded {
    std::map<std::string, std::string> tags;
    int64_t durationUs = 0;
    int64_t bitRate = 0;
    int codecTag = 0;
    std::vector<float> left, right;
    bool ok = false;
};

Decoded Decode(const fs::path& file) {
    Decoded d;
    AVFormatContext* rawFormat = nullptr;
    if (avformat_open_input(&rawFormat, file.c_str(), nullptr, nullptr) < 0) return d;
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> format(rawFormat, [](AVFormatContext* f) {
        avformat_close_input(&f);
    });
    if (avformat_find_stream_info(format.get(), nullptr) < 0 || format->nb_streams != 1) return d;
    const AVDictionaryEntry* e = nullptr;
    while ((e = av_dict_get(format->metadata, "", e, AV_DICT_IGNORE_SUFFIX))) d.tags[e->key] = e->value;
    d.durationUs = format->duration;
    const AVCodecParameters* par = format->streams[0]->codecpar;
    d.bitRate = par->bit_rate;
    d.codecTag = static_cast<int>(par->codec_tag);
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    if (!codec) return d;
    std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> ctx(avcodec_alloc_context3(codec),
                                                                   [](AVCodecContext* c) { avcodec_free_context(&c); });
    if (avcodec_parameters_to_context(ctx.get(), par) < 0 || avcodec_open2(ctx.get(), codec, nullptr) < 0) return d;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto drain = [&] {
        while (avcodec_receive_frame(ctx.get(), frame) == 0) {
            if (frame->format != AV_SAMPLE_FMT_FLTP) continue;  // WMA Lossless: checked elsewhere
            const auto* l = reinterpret_cast<const float*>(frame->data[0]);
            const auto* r = reinterpret_cast<const float*>(frame->data[1]);
            d.left.insert(d.left.end(), l, l + frame->nb_samples);
            d.right.insert(d.right.end(), r, r + frame->nb_samples);
        }
    };
    bool errors = false;
    while (av_read_frame(format.get(), packet) >= 0) {
        if (avcodec_send_packet(ctx.get(), packet) < 0) errors = true;
        av_packet_unref(packet);
        drain();
    }
    avcodec_send_packet(ctx.get(), nullptr);
    drain();
    av_frame_free(&frame);
    av_packet_free(&packet);
    d.ok = !errors && ctx->sample_fmt == AV_SAMPLE_FMT_FLTP && ctx->ch_layout.nb_channels == 2;
    return d;
}

// Signal-to-noise ratio in dB of the decoded audio against the input, sample for sample.
double Snr(const std::vector<uint8_t>& pcm, const Decoded& d) {
    const size_t n = pcm.size() / 4;
    double signal = 0, noise = 0;
    for (size_t i = 0; i < n && i < d.left.size(); ++i) {
        for (int c = 0; c < 2; ++c) {
            const auto s = static_cast<int16_t>(pcm[i * 4 + c * 2] | (pcm[i * 4 + c * 2 + 1] << 8));
            const double x = s / 32768.0;
            const double y = c == 0 ? d.left[i] : d.right[i];
            signal += x * x;
            noise += (x - y) * (x - y);
        }
    }
    return 10 * std::log10(signal / std::max(noise, 1e-20));
}

bool WriteTrack(const fs::path& base, int32_t quality, const OutputTrackInfo* info, const std::vector<uint8_t>& pcm,
                uint32_t blockBytes = kBlockBytes) {
    return TheModule().WriteTrack(base, quality, info, pcm, blockBytes);
}

struct ProfileCase {
    int32_t quality;
    int64_t bitRate;  // what is really encoded
    double snrFloor;  // dB, on the synthetic music
};

// The six VBR qualities state the rate whose decoder settings they are
// coded for; their noise follows the masking threshold, so the SNR is lower.
const ProfileCase kProfiles[] = {
    {0, 32000, 22},   {1, 48000, 23},    {2, 64000, 24},     {3, 80000, 25},     {4, 96000, 26},   {5, 128000, 28},
    {6, 160000, 29},  {7, 192000, 29},   {8, 256000, 30},    {9, 320000, 30},    {0x40, 32000, 6}, {0x41, 48000, 7},
    {0x42, 96000, 8}, {0x43, 128000, 9}, {0x44, 192000, 10}, {0x45, 256000, 11},
};

}  // namespace

TEST(WmaRoundTrip, ModuleExportsTheThreeEntryPoints) {
    Plugin& m = TheModule();
    ASSERT_NE(m.handle, nullptr) << dlerror();
    EXPECT_NE(m.open, nullptr);
    EXPECT_NE(m.write, nullptr);
    EXPECT_NE(m.close, nullptr);
}

TEST(WmaRoundTrip, EveryProfileDecodesWithTagsDurationAndAudio) {
    ASSERT_NE(TheModule().handle, nullptr);
    TempDir dir;
    // 3.3 s: five full blocks and a short one.
    const size_t frames = 145530;
    const std::vector<uint8_t> pcm = MakeMusicPcm(frames, 7);
    const std::string title = "Caf\xC3\xA9 \xE2\x99\xAA Song";
    for (const ProfileCase& p : kProfiles) {
        SCOPED_TRACE("quality code " + std::to_string(p.quality));
        const int track = 3 + (p.quality & 0x0F);
        const OutputTrackInfo info{track, title.c_str(), "The Artist", "An Album", "Rock", "1999", "", ""};
        const fs::path base = dir.path() / ("0" + std::to_string(track) + " - Song");
        ASSERT_TRUE(WriteTrack(base, p.quality, &info, pcm));
        const fs::path file = base.string() + ".wma";
        ASSERT_TRUE(fs::exists(file));

        const Decoded d = Decode(file);
        ASSERT_TRUE(d.ok);
        EXPECT_EQ(d.codecTag, 0x0161);
        EXPECT_NEAR(static_cast<double>(d.bitRate), static_cast<double>(p.bitRate), p.bitRate * 0.01);
        EXPECT_EQ(d.tags.at("title"), title);
        EXPECT_EQ(d.tags.at("artist"), "The Artist");
        EXPECT_EQ(d.tags.at("album"), "An Album");
        EXPECT_EQ(d.tags.at("genre"), "Rock");
        EXPECT_EQ(d.tags.at("WM/Year"), "1999");
        EXPECT_EQ(d.tags.at("WM/Track"), std::to_string(track - 1));
        EXPECT_EQ(d.tags.at("track"), std::to_string(track));
        EXPECT_EQ(d.tags.count("comment"), 0u);
        // The header states the delivered audio's length (FFmpeg reads it to the millisecond).
        EXPECT_NEAR(static_cast<double>(d.durationUs), frames * 1e6 / 44100, 1500);
        // Every delivered sample comes back; only whole frames of silence follow.
        EXPECT_GE(d.left.size(), frames);
        EXPECT_LT(d.left.size(), frames + 2 * 2048);
        const double snr = Snr(pcm, d);
        std::printf("[ SNR      ] quality code 0x%02X, %3lld kbit/s: %.1f dB\n", p.quality,
                    static_cast<long long>(p.bitRate / 1000), snr);
        EXPECT_GE(snr, p.snrFloor);
        // The end of the track is there too, not only the start.
        std::vector<uint8_t> tail(pcm.end() - 44100 * 4, pcm.end());
        Decoded lastSecond;
        lastSecond.left.assign(d.left.begin() + (frames - 44100), d.left.begin() + frames);
        lastSecond.right.assign(d.right.begin() + (frames - 44100), d.right.begin() + frames);
        EXPECT_GE(Snr(tail, lastSecond), p.snrFloor - 3);
    }
}

TEST(WmaRoundTrip, LosslessWritesAWmaLosslessFileWithTags) {
    ASSERT_NE(TheModule().handle, nullptr);
    TempDir dir;
    const fs::path base = dir.path() / "01 - Lossless";
    const OutputTrackInfo info{1, "T", "A", "B", "", "", "", ""};
    ASSERT_TRUE(WriteTrack(base, QUALITY_LOSSLESS_FLAG, &info, MakeMusicPcm(44100, 1)));
    const Decoded d = Decode(base.string() + ".wma");
    EXPECT_EQ(d.codecTag, 0x0163);
    EXPECT_EQ(d.tags.at("title"), "T");
    EXPECT_EQ(d.tags.at("WM/Track"), "0");
    EXPECT_NEAR(static_cast<double>(d.durationUs), 1e6, 1000);
    // The plug-in is closed again: a later track opens normally.
    EXPECT_TRUE(WriteTrack(dir.path() / "02 - Next", 5, &info, MakeMusicPcm(4410, 1)));
}

TEST(WmaRoundTrip, ShortTracksSingleFramesAndNullInfo) {
    ASSERT_NE(TheModule().handle, nullptr);
    TempDir dir;
    // One short block; blocks of one CD frame; nothing at all.
    const std::vector<uint8_t> shortTrack = MakeMusicPcm(588 * 5, 2);
    ASSERT_TRUE(WriteTrack(dir.path() / "short", 5, nullptr, shortTrack));
    const std::vector<uint8_t> frames = MakeMusicPcm(588 * 200, 3);
    ASSERT_TRUE(WriteTrack(dir.path() / "frames", 5, nullptr, frames, 2352));
    ASSERT_TRUE(WriteTrack(dir.path() / "empty", 5, nullptr, {}));

    Decoded s = Decode(dir.path() / "short.wma");
    ASSERT_TRUE(s.ok);
    EXPECT_GE(s.left.size(), 588u * 5);
    // FFmpeg prints the DWORD 0xFFFFFFFF sign-extended to 64 bits.
    EXPECT_TRUE(s.tags.at("WM/Track") == "4294967295" || s.tags.at("WM/Track") == "18446744073709551615");
    EXPECT_EQ(s.tags.count("title"), 0u);
    EXPECT_EQ(s.tags.count("track"), 0u);

    Decoded f = Decode(dir.path() / "frames.wma");
    ASSERT_TRUE(f.ok);
    EXPECT_NEAR(static_cast<double>(f.durationUs), 588 * 200 * 1e6 / 44100, 1500);
    EXPECT_GE(f.left.size(), 588u * 200);
    EXPECT_GE(Snr(frames, f), 20);

    Decoded e = Decode(dir.path() / "empty.wma");
    EXPECT_TRUE(e.ok);
    EXPECT_LE(e.durationUs, 1000);
}

TEST(WmaRoundTrip, MutagenSeesTypedTrackAttributes) {
    ASSERT_NE(TheModule().handle, nullptr);
    TempDir dir;
    const OutputTrackInfo info{7, "Seventh", "A", "B", "Jazz", "2001", "", ""};
    ASSERT_TRUE(WriteTrack(dir.path() / "07 - Seventh", 0x43, &info, MakeMusicPcm(44100, 4)));
    const std::string command = std::string("'") + CADRIX_WMA_PYTHON + "' '" + CADRIX_WMA_MUTAGEN_SCRIPT + "' '" +
                                (dir.path() / "07 - Seventh.wma").string() + "' 7 Seventh";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
}
