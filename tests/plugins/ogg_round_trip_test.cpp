// Writes .ogg files through the real cadrix_ogg.so, loaded as the host loads
// it, and reads them back with libvorbisfile: exact sample counts, comments,
// the audio itself, the quality range and the failure paths of the contract.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cadrix_plugin.h"
#include "ogg_test_decoder.h"
#include "plugin_module.h"
#include "wma_test_audio.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kBlockBytes = 63504;  // one read of 27 CD frames
constexpr size_t kBlockFrames = kBlockBytes / 4;

using Plugin = plugin_test::PluginModule;
using plugin_test::TempDir;

Plugin& TheModule() {
    static Plugin plugin(CADRIX_OGG_MODULE);
    return plugin;
}

// Open, every block, close, as the worker does; false when a call failed.
bool WriteTrack(const fs::path& base, int32_t quality, const OutputTrackInfo* info, const std::vector<uint8_t>& pcm,
                uint32_t blockBytes = kBlockBytes) {
    return TheModule().WriteTrack(base, quality, info, pcm, blockBytes);
}

std::string Comment(const DecodedOgg& d, const std::string& name) {
    const auto found = d.comments.find(name);
    return found == d.comments.end() ? "<none>" : found->second;
}

}  // namespace

TEST(OggRoundTrip, ModuleExportsOnlyTheThreeEntryPoints) {
    Plugin& m = TheModule();
    ASSERT_NE(m.handle, nullptr) << dlerror();
    EXPECT_NE(m.open, nullptr);
    EXPECT_NE(m.write, nullptr);
    EXPECT_NE(m.close, nullptr);
    // The module's own C++ functions stay hidden.
    EXPECT_EQ(dlsym(m.handle, "_Z13VorbisQualityi"), nullptr);
}

TEST(OggRoundTrip, ExactSampleCountTagsAndAudio) {
    ASSERT_NE(TheModule().handle, nullptr);
    TempDir dir;
    // 3.6 s: ten full reads and a short last one.
    const size_t frames = 10 * kBlockFrames + 7 * 588;
    const std::vector<uint8_t> pcm = MakeMusicPcm(frames, 11);
    const std::string title = "Caf\xC3\xA9 \xE2\x99\xAA Song";     // UTF-8
    const std::string artist = "Bj\xF6rk \x93Live\x94 \x80 \x81";  // Windows-1252
    const OutputTrackInfo info{7, title.c_str(), artist.c_str(), "An Album", "Rock", "1999", "", nullptr};
    const fs::path base = dir.path() / "07 - Song";
    // A disc without a catalog number; a pre-emphasised track with an ISRC.
    OutputTrackExtras extras{};
    extras.size = sizeof(OutputTrackExtras);
    extras.trackTotal = 12;
    extras.discNumber = 2;
    extras.compilation = 1;
    extras.albumArtist = "Various \x80";
    extras.isrc = "USRC17607839";
    extras.catalog = "";
    extras.preEmphasis = 1;
    ASSERT_NE(TheModule().setExtras, nullptr);
    TheModule().setExtras(&extras);
    ASSERT_TRUE(WriteTrack(base, 50, &info, pcm));

    const DecodedOgg d = DecodeOgg(base.string() + ".ogg");
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.pcmTotal, static_cast<int64_t>(frames));
    EXPECT_EQ(d.left.size(), frames);
    EXPECT_EQ(Comment(d, "TITLE"), title);
    EXPECT_EQ(Comment(d, "ARTIST"), "Bj\xC3\xB6rk \xE2\x80\x9CLive\xE2\x80\x9D \xE2\x82\xAC \xC2\x81");
    EXPECT_EQ(Comment(d, "ALBUM"), "An Album");
    EXPECT_EQ(Comment(d, "GENRE"), "Rock");
    EXPECT_EQ(Comment(d, "DATE"), "1999");
    EXPECT_EQ(Comment(d, "TRACKNUMBER"), "7");
    EXPECT_EQ(Comment(d, "ALBUMARTIST"), "Various \xE2\x82\xAC");
    EXPECT_EQ(Comment(d, "TRACKTOTAL"), "12");
    EXPECT_EQ(Comment(d, "DISCNUMBER"), "2");
    EXPECT_EQ(d.comments.count("REGION"), 0u);
    EXPECT_EQ(d.comments.count("COMMENT"), 0u);
    EXPECT_EQ(Comment(d, "ISRC"), "USRC17607839");
    EXPECT_EQ(Comment(d, "PRE_EMPHASIS"), "yes");
    EXPECT_EQ(d.comments.count("BARCODE"), 0u);
    EXPECT_EQ(d.comments.size(), 11u);

    const double snr = SnrDb(pcm, d, 0, frames);
    std::printf("[ SNR      ] position 50: %.1f dB\n", snr);
    EXPECT_GE(snr, 20.0);
    // The last read, short as it is, is there too.
    const double tail = SnrDb(pcm, d, frames - 7 * 588, 7 * 588);
    std::printf("[ SNR      ] position 50, last read: %.1f dB\n", tail);
    EXPECT_GE(tail, 20.0);
}

TEST(OggRoundTrip, QualityPositionsOrderTheSizesAndClampOutside) {
    ASSERT_NE(TheModule().handle, nullptr);
    TempDir dir;
    const std::vector<uint8_t> pcm = MakeMusicPcm(3 * 44100, 5);
    const OutputTrackInfo info{1, "T", "A", "B", "", "", "", ""};
    auto sizeAt = [&](int32_t quality) -> uintmax_t {
        const fs::path base = dir.path() / ("q" + std::to_string(quality));
        if (!WriteTrack(base, quality, &info, pcm)) return 0;
        const DecodedOgg d = DecodeOgg(base.string() + ".ogg");
        if (!d.ok || d.pcmTotal != 3 * 44100) return 0;
        return fs::file_size(base.string() + ".ogg");
    };
    const uintmax_t low = sizeAt(0), middle = sizeAt(50), high = sizeAt(110);
    std::printf("[ SIZES    ] 3 s at positions 0, 50, 110: %ju, %ju, %ju bytes\n", low, middle, high);
    ASSERT_GT(low, 0u);
    EXPECT_LT(low, middle);
    EXPECT_LT(middle, high);
    // The encoder is deterministic, so codes outside 0..110 show the clamp.
    EXPECT_EQ(sizeAt(-20), low);
    EXPECT_EQ(sizeAt(1000), high);
}

TEST(OggRoundTrip, NullInfoAndNullTextsWriteNoCommentsAndNothingCarriesOver) {
    ASSERT_NE(TheModule().handle, nullptr);
    TempDir dir;
    const std::vector<uint8_t> pcm = MakeMusicPcm(44100, 3);
    const OutputTrackInfo tagged{4, "Four", "A", "B", "Jazz", "2001", "Europe", "Note"};
    ASSERT_TRUE(WriteTrack(dir.path() / "tagged", 110, &tagged, pcm));
    const DecodedOgg t = DecodeOgg((dir.path() / "tagged.ogg").string());
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(Comment(t, "REGION"), "Europe");
    EXPECT_EQ(Comment(t, "COMMENT"), "Note");

    ASSERT_TRUE(WriteTrack(dir.path() / "null-info", 50, nullptr, pcm));
    const OutputTrackInfo nulls{0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    ASSERT_TRUE(WriteTrack(dir.path() / "null-texts", 50, &nulls, pcm));
    for (const char* name : {"null-info.ogg", "null-texts.ogg"}) {
        const DecodedOgg d = DecodeOgg((dir.path() / name).string());
        ASSERT_TRUE(d.ok) << name;
        EXPECT_TRUE(d.comments.empty()) << name;
        EXPECT_EQ(d.pcmTotal, 44100) << name;
    }
    // Position 50 after 110: the second file is as small as a fresh one at 50.
    ASSERT_TRUE(WriteTrack(dir.path() / "fresh", 50, nullptr, pcm));
    EXPECT_EQ(fs::file_size(dir.path() / "null-info.ogg"), fs::file_size(dir.path() / "fresh.ogg"));
}

TEST(OggRoundTrip, FailedOpenLeavesNothingAndTheNextOpenWorks) {
    Plugin& m = TheModule();
    ASSERT_NE(m.handle, nullptr);
    TempDir dir;
    const OutputTrackInfo info{1, "T", "A", "B", "", "", "", ""};
    EXPECT_EQ(m.open((dir.path() / "missing" / "01 - T").c_str(), 50, &info), 0);
    // A folder where the file would go is neither replaced nor removed.
    fs::create_directory(dir.path() / "taken.ogg");
    EXPECT_EQ(m.open((dir.path() / "taken").c_str(), 50, &info), 0);
    EXPECT_TRUE(fs::is_directory(dir.path() / "taken.ogg"));
    EXPECT_EQ(m.open(nullptr, 50, &info), 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
    // Closed: blocks are refused and a close does nothing.
    const std::vector<uint8_t> pcm = MakeMusicPcm(588 * 3, 9);
    EXPECT_EQ(m.write(pcm.data(), static_cast<uint32_t>(pcm.size())), 0);
    m.close();

    ASSERT_TRUE(WriteTrack(dir.path() / "01 - T", 50, &info, pcm));
    const DecodedOgg d = DecodeOgg((dir.path() / "01 - T.ogg").string());
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.pcmTotal, 588 * 3);
}

TEST(OggRoundTrip, AbortedShortAndEmptyTracksAreCompleteFiles) {
    Plugin& m = TheModule();
    ASSERT_NE(m.handle, nullptr);
    TempDir dir;
    const std::vector<uint8_t> pcm = MakeMusicPcm(10 * kBlockFrames, 4);

    // Aborted after three reads; a malformed block in between is refused
    // without touching the stream.
    ASSERT_EQ(m.open((dir.path() / "aborted").c_str(), 30, nullptr), 1);
    for (size_t b = 0; b < 3; ++b) EXPECT_EQ(m.write(pcm.data() + b * kBlockBytes, kBlockBytes), 1);
    EXPECT_EQ(m.write(pcm.data(), 6), 0);
    EXPECT_EQ(m.write(nullptr, 2352), 0);
    m.close();
    const DecodedOgg aborted = DecodeOgg((dir.path() / "aborted.ogg").string());
    ASSERT_TRUE(aborted.ok);
    EXPECT_EQ(aborted.pcmTotal, static_cast<int64_t>(3 * kBlockFrames));
    EXPECT_EQ(aborted.left.size(), 3 * kBlockFrames);
    const double snr = SnrDb(pcm, aborted, 0, 3 * kBlockFrames);
    std::printf("[ SNR      ] position 30, aborted: %.1f dB\n", snr);
    EXPECT_GE(snr, 17.0);

    // One short read; reads of one CD frame each; nothing at all.
    const std::vector<uint8_t> shortTrack(pcm.begin(), pcm.begin() + 5 * 2352);
    ASSERT_TRUE(WriteTrack(dir.path() / "short", 50, nullptr, shortTrack));
    const std::vector<uint8_t> single(pcm.begin(), pcm.begin() + 200 * 2352);
    ASSERT_TRUE(WriteTrack(dir.path() / "frames", 50, nullptr, single, 2352));
    ASSERT_TRUE(WriteTrack(dir.path() / "empty", 50, nullptr, {}));
    const struct {
        const char* name;
        int64_t frames;
    } expected[] = {{"short.ogg", 5 * 588}, {"frames.ogg", 200 * 588}, {"empty.ogg", 0}};
    for (const auto& e : expected) {
        const DecodedOgg d = DecodeOgg((dir.path() / e.name).string());
        ASSERT_TRUE(d.ok) << e.name;
        EXPECT_EQ(d.pcmTotal, e.frames) << e.name;
        EXPECT_EQ(static_cast<int64_t>(d.left.size()), e.frames) << e.name;
    }
}

TEST(OggRoundTrip, AWriteFailureRefusesTheBlockAndEveryLaterOne) {
    Plugin& m = TheModule();
    ASSERT_NE(m.handle, nullptr);
    TempDir dir;
    const std::vector<uint8_t> pcm = MakeMusicPcm(10 * kBlockFrames, 6);
    const fs::path base = dir.path() / "full";
    EXPECT_EQ(m.WriteTrackToFullDisk(base, 110, pcm, kBlockBytes, 40000), 0);
    EXPECT_LE(fs::file_size(base.string() + ".ogg"), 40000u);
    // What reached the disk still opens and plays from the start.
    const DecodedOgg d = DecodeOgg(base.string() + ".ogg");
    ASSERT_TRUE(d.ok);
    EXPECT_GT(d.left.size(), 0u);
    EXPECT_LT(d.left.size(), 10 * kBlockFrames);
}
