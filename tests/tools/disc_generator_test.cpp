#include "disc_generator.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "data_sector.h"
#include "demo_disc.h"
#include "music_synth.h"
#include "temp_dir.h"

namespace fs = std::filesystem;
using namespace cadrix::discgen;

namespace {

using cadrix::test::TempDir;

std::vector<uint8_t> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::error_code error;
    const auto size = fs::file_size(path, error);
    std::vector<uint8_t> bytes(error ? 0 : size);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

std::string ReadText(const fs::path& path) {
    const std::vector<uint8_t> bytes = ReadFile(path);
    return {bytes.begin(), bytes.end()};
}

DiscDescription Disc(std::initializer_list<uint32_t> frames, uint64_t seed = 7) { return AudioDisc(frames, seed); }

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, uint64_t fromFrame, uint64_t frames) {
    const auto from = static_cast<std::ptrdiff_t>(fromFrame * kFrameBytes);
    return {bytes.begin() + from, bytes.begin() + from + static_cast<std::ptrdiff_t>(frames * kFrameBytes)};
}

std::vector<int16_t> Channel(const std::vector<uint8_t>& pcm, int channel) {
    std::vector<int16_t> samples;
    for (size_t i = static_cast<size_t>(channel) * 2; i + 1 < pcm.size(); i += 4) {
        samples.push_back(static_cast<int16_t>(pcm[i] | (pcm[i + 1] << 8)));
    }
    return samples;
}

// Magnitude spectrum of 8192 samples (Hann window).
std::vector<double> Spectrum(const std::vector<int16_t>& samples, size_t offset) {
    constexpr size_t n = 8192;
    std::vector<std::complex<double>> x(n);
    for (size_t i = 0; i < n; ++i) {
        const double window = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) / n);
        x[i] = samples[offset + i] * window;
    }
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; (j & bit) != 0; bit >>= 1) {
            j ^= bit;
        }
        j ^= bit;
        if (i < j) {
            std::swap(x[i], x[j]);
        }
    }
    for (size_t length = 2; length <= n; length <<= 1) {
        const std::complex<double> step = std::polar(1.0, -2.0 * std::numbers::pi / static_cast<double>(length));
        for (size_t i = 0; i < n; i += length) {
            std::complex<double> w = 1.0;
            for (size_t k = 0; k < length / 2; ++k) {
                const std::complex<double> u = x[i + k];
                const std::complex<double> v = x[i + k + length / 2] * w;
                x[i + k] = u + v;
                x[i + k + length / 2] = u - v;
                w *= step;
            }
        }
    }
    std::vector<double> magnitude(n / 2);
    for (size_t i = 0; i < n / 2; ++i) {
        magnitude[i] = std::abs(x[i]);
    }
    return magnitude;
}

// Local maxima within 30 dB of the strongest component.
int CountPeaks(const std::vector<double>& magnitude) {
    const double top = *std::max_element(magnitude.begin(), magnitude.end());
    int peaks = 0;
    for (size_t i = 2; i + 2 < magnitude.size(); ++i) {
        if (magnitude[i] > top / 31.6 && magnitude[i] >= magnitude[i - 1] && magnitude[i] > magnitude[i + 1] &&
            magnitude[i] > magnitude[i - 2] && magnitude[i] > magnitude[i + 2]) {
            ++peaks;
        }
    }
    return peaks;
}

int DominantBin(const std::vector<double>& magnitude) {
    return static_cast<int>(std::max_element(magnitude.begin() + 1, magnitude.end()) - magnitude.begin());
}

}  // namespace

// TOCs of the reference images in the CD access notes, with the ids libdiscid gave.
TEST(DiscGeneratorToc, MatchesReferenceLayouts) {
    DiscDescription audio = Disc({225, 315, 413, 450});
    ExpectedToc toc = ExpectedTocOf(audio);
    EXPECT_EQ(toc.trackStarts, (std::vector<uint32_t>{0, 225, 540, 953}));
    EXPECT_EQ(toc.leadout, 1403U);
    EXPECT_EQ(toc.audioEnd, 1403U);
    EXPECT_EQ(toc.cddbId, 0x15001204U);

    DiscDescription indexZero = audio;  // pregap.cue: 150 and 75 frames of INDEX 00
    indexZero.tracks[1].indexZeroFrames = 150;
    indexZero.tracks[2].indexZeroFrames = 75;
    toc = ExpectedTocOf(indexZero);
    EXPECT_EQ(toc.trackStarts, (std::vector<uint32_t>{0, 375, 765, 1178}));
    EXPECT_EQ(toc.leadout, 1628U);
    EXPECT_EQ(toc.cddbId, 0x14001504U);

    DiscDescription hidden = audio;  // htoa.cue: 4 s before track 1's INDEX 01
    hidden.tracks[0].indexZeroFrames = 300;
    toc = ExpectedTocOf(hidden);
    EXPECT_EQ(toc.trackStarts.front(), 300U);
    EXPECT_EQ(toc.cddbId, 0x1c001204U);

    DiscDescription pregap = audio;  // pregapcmd.cue: PREGAP 00:02:00 on track 2
    pregap.tracks[1].pregapFrames = 150;
    toc = ExpectedTocOf(pregap);
    EXPECT_EQ(toc.trackStarts, (std::vector<uint32_t>{0, 375, 690, 1103}));
    EXPECT_EQ(toc.leadout, 1553U);
    EXPECT_EQ(toc.cddbId, 0x12001404U);

    DiscDescription extra = audio;  // extra2048.cue: data track behind a 2 s PREGAP
    extra.tracks.push_back({185, TrackMode::Mode1Cooked, 0, 150, 1});
    toc = ExpectedTocOf(extra);
    EXPECT_EQ(toc.trackStarts.back(), 1553U);
    EXPECT_EQ(toc.leadout, 1738U);
    EXPECT_EQ(toc.audioEnd, 1403U);
    EXPECT_EQ(toc.dataTracks, (std::vector<bool>{false, false, false, false, true}));
    EXPECT_EQ(toc.cddbId, 0x19001705U);

    DiscDescription enhanced = audio;  // extra_ms.cue: second session
    enhanced.tracks.push_back({185, TrackMode::Mode1Raw, 0, 0, 2});
    toc = ExpectedTocOf(enhanced);
    EXPECT_EQ(toc.trackStarts.back(), 1403U + kSessionGapFrames);
    EXPECT_EQ(toc.leadout, 12988U);
    EXPECT_EQ(toc.audioEnd, 1403U);
    EXPECT_EQ(toc.cddbId, 0x1f00ad05U);
}

TEST(DiscGeneratorToc, RejectsDescriptionsNoDiscCanHave) {
    std::string why;
    EXPECT_FALSE(IsValidDescription(DiscDescription{}, &why));
    EXPECT_FALSE(why.empty());
    EXPECT_FALSE(IsValidDescription(Disc({225, 0})));
    DiscDescription many = EvenDisc(100 * 300, 100);
    EXPECT_FALSE(IsValidDescription(many));
    EXPECT_TRUE(IsValidDescription(EvenDisc(99 * 300, 99)));
    EXPECT_FALSE(IsValidDescription(Disc({100 * 60 * 75})));
    DiscDescription audioSession2 = Disc({225, 300});
    audioSession2.tracks[1].session = 2;  // must be a data track
    EXPECT_FALSE(IsValidDescription(audioSession2));
    DiscDescription backwards = Disc({225, 300, 300});
    backwards.tracks[1] = {300, TrackMode::Mode1Raw, 0, 0, 2};
    EXPECT_FALSE(IsValidDescription(backwards));  // session 2 then 1
    DiscDescription gapped = Disc({225, 300});
    gapped.tracks[1] = {300, TrackMode::Mode1Raw, 0, 150, 2};
    EXPECT_FALSE(IsValidDescription(gapped));  // the session gap already holds the pregap
    EXPECT_TRUE(ExpectedTocOf(gapped).trackStarts.empty());

    TempDir dir;
    std::string error;
    EXPECT_FALSE(WriteDiscImage(gapped, dir.path(), "bad", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(fs::exists(dir.path() / "bad.cue"));
    EXPECT_FALSE(WriteDiscImage(Disc({225}), dir.path(), "a/b"));
}

TEST(DiscGeneratorFiles, BinaryImageHoldsExactlyTheExpectedAudio) {
    TempDir dir;
    DiscDescription disc = Disc({225, 315, 413});
    disc.tracks[1].indexZeroFrames = 40;
    disc.tracks[2].pregapFrames = 30;
    ASSERT_TRUE(WriteDiscImage(disc, dir.path(), "disc"));
    const std::vector<uint8_t> bin = ReadFile(dir.path() / "disc.bin");
    ASSERT_EQ(bin.size(), (225U + 40 + 315 + 413) * kFrameBytes);  // PREGAP silence is in no file
    EXPECT_EQ(ReadText(dir.path() / "disc.cue"),
              "REM COMMENT \"cadrix-discgen\"\n"
              "FILE \"disc.bin\" BINARY\n"
              "  TRACK 01 AUDIO\n"
              "    INDEX 01 00:00:00\n"
              "  TRACK 02 AUDIO\n"
              "    INDEX 00 00:03:00\n"
              "    INDEX 01 00:03:40\n"
              "  TRACK 03 AUDIO\n"
              "    PREGAP 00:00:30\n"
              "    INDEX 01 00:07:55\n");
    EXPECT_EQ(fs::directory_iterator(dir.path()) == fs::directory_iterator(), false);
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        EXPECT_NE(entry.path().extension(), ".part");
    }

    // Track 1 runs up to track 2's INDEX 01, so it includes track 2's INDEX 00.
    const std::vector<uint8_t> track1 = ExpectedTrackPcm(disc, 1);
    EXPECT_EQ(track1, Slice(bin, 0, 265));
    // Track 2 ends with the 30 frames of PREGAP silence before track 3.
    const std::vector<uint8_t> track2 = ExpectedTrackPcm(disc, 2);
    ASSERT_EQ(track2.size(), (315U + 30) * kFrameBytes);
    EXPECT_EQ(Slice(track2, 0, 315), Slice(bin, 265, 315));
    EXPECT_TRUE(std::all_of(track2.end() - 30 * kFrameBytes, track2.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(ExpectedTrackPcm(disc, 3), Slice(bin, 580, 413));
    // Any range, across tracks.
    EXPECT_EQ(Slice(ExpectedAudioRange(disc, 200, 100), 0, 100), Slice(bin, 200, 100));
    EXPECT_TRUE(ExpectedTrackPcm(disc, 0).empty());
    EXPECT_TRUE(ExpectedTrackPcm(disc, 4).empty());
}

TEST(DiscGeneratorFiles, OutputIsDeterministicAndFollowsTheSeed) {
    TempDir dir;
    const DiscDescription disc = Disc({300, 200}, 11);
    ASSERT_TRUE(WriteDiscImage(disc, dir.path() / "a", "x"));
    ASSERT_TRUE(WriteDiscImage(disc, dir.path() / "b", "x"));
    ASSERT_TRUE(WriteDiscImage(Disc({300, 200}, 12), dir.path() / "c", "x"));
    const std::vector<uint8_t> a = ReadFile(dir.path() / "a" / "x.bin");
    EXPECT_EQ(a, ReadFile(dir.path() / "b" / "x.bin"));
    EXPECT_NE(a, ReadFile(dir.path() / "c" / "x.bin"));
    // Tracks of one disc differ too.
    EXPECT_NE(Slice(a, 0, 200), Slice(a, 300, 200));
}

// A failed rewrite leaves no sheet behind (no disc), never an old sheet over new files.
TEST(DiscGeneratorFiles, FailedRewriteLeavesNoSheet) {
    TempDir dir;
    ASSERT_TRUE(WriteDiscImage(Disc({100, 50}), dir.path(), "x"));
    ASSERT_TRUE(fs::exists(dir.path() / "x.cue"));
    fs::create_directory(dir.path() / "x.bin.part");  // the data file cannot be written
    std::string error;
    EXPECT_FALSE(WriteDiscImage(Disc({100, 60}), dir.path(), "x", &error));
    EXPECT_NE(error.find("x.bin"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir.path() / "x.cue"));
    EXPECT_FALSE(fs::exists(dir.path() / "x.cue.part"));
}

TEST(DiscGeneratorFiles, MotorolaIsTheByteSwapOfBinary) {
    TempDir dir;
    DiscDescription disc = Disc({225, 150});
    ASSERT_TRUE(WriteDiscImage(disc, dir.path() / "le", "x"));
    disc.audioFiles = AudioFileType::Motorola;
    ASSERT_TRUE(WriteDiscImage(disc, dir.path() / "be", "x"));
    std::vector<uint8_t> little = ReadFile(dir.path() / "le" / "x.bin");
    const std::vector<uint8_t> big = ReadFile(dir.path() / "be" / "x.bin");
    ASSERT_EQ(little.size(), big.size());
    EXPECT_NE(little, big);
    for (size_t i = 0; i + 1 < little.size(); i += 2) {
        std::swap(little[i], little[i + 1]);
    }
    EXPECT_EQ(little, big);
    EXPECT_NE(ReadText(dir.path() / "be" / "x.cue").find("FILE \"x.bin\" MOTOROLA\n"), std::string::npos);
    // What a drive returns does not depend on how the image stores it.
    EXPECT_EQ(ExpectedTrackPcm(disc, 1), Slice(ReadFile(dir.path() / "le" / "x.bin"), 0, 225));
}

TEST(DiscGeneratorFiles, WaveAndPerTrackFilesHoldTheSameAudio) {
    TempDir dir;
    DiscDescription disc = Disc({225, 150, 75});
    disc.tracks[1].indexZeroFrames = 20;
    ASSERT_TRUE(WriteDiscImage(disc, dir.path() / "bin", "x"));
    const std::vector<uint8_t> bin = ReadFile(dir.path() / "bin" / "x.bin");

    disc.filePerTrack = true;
    ASSERT_TRUE(WriteDiscImage(disc, dir.path() / "split", "x"));
    EXPECT_EQ(ReadFile(dir.path() / "split" / "x-01.bin"), Slice(bin, 0, 225));
    EXPECT_EQ(ReadFile(dir.path() / "split" / "x-02.bin"), Slice(bin, 225, 170));
    EXPECT_EQ(ReadFile(dir.path() / "split" / "x-03.bin"), Slice(bin, 395, 75));
    const std::string splitCue = ReadText(dir.path() / "split" / "x.cue");
    EXPECT_NE(splitCue.find(
                  "FILE \"x-02.bin\" BINARY\n  TRACK 02 AUDIO\n    INDEX 00 00:00:00\n    INDEX 01 00:00:20\n"),
              std::string::npos);

    disc.audioFiles = AudioFileType::Wave;
    ASSERT_TRUE(WriteDiscImage(disc, dir.path() / "wave", "x"));
    const std::vector<uint8_t> wave = ReadFile(dir.path() / "wave" / "x-02.wav");
    ASSERT_EQ(wave.size(), 44U + 170 * kFrameBytes);
    EXPECT_EQ(std::string(wave.begin(), wave.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(wave.begin() + 8, wave.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(wave[22], 2);  // channels
    EXPECT_EQ(wave[24] | (wave[25] << 8), 44100 & 0xFFFF);
    EXPECT_EQ(wave[34], 16);  // bits per sample
    EXPECT_EQ(std::vector<uint8_t>(wave.begin() + 44, wave.end()), Slice(bin, 225, 170));
    EXPECT_NE(ReadText(dir.path() / "wave" / "x.cue").find("FILE \"x-03.wav\" WAVE\n"), std::string::npos);
}

TEST(DiscGeneratorFiles, DataTracksHoldAddressedSectors) {
    TempDir dir;
    DiscDescription disc = Disc({225, 150});
    disc.audioFiles = AudioFileType::Motorola;
    disc.tracks.push_back({100, TrackMode::Mode1Raw, 0, 0, 2});
    ASSERT_TRUE(WriteDiscImage(disc, dir.path(), "cdextra"));
    // MOTOROLA audio and a BINARY data track cannot share a file.
    EXPECT_EQ(ReadFile(dir.path() / "cdextra-01.bin").size(), 375U * kFrameBytes);
    const std::vector<uint8_t> data = ReadFile(dir.path() / "cdextra-03.bin");
    ASSERT_EQ(data.size(), 100U * kFrameBytes);
    const std::string cue = ReadText(dir.path() / "cdextra.cue");
    EXPECT_NE(cue.find("REM SESSION 01\n"), std::string::npos);
    EXPECT_NE(cue.find(
                  "REM SESSION 02\nFILE \"cdextra-03.bin\" BINARY\n  TRACK 03 MODE1/2352\n    INDEX 01 00:00:00\n"),
              std::string::npos);

    // The first data sector sits at LBA 375 + 11400 = 11775, absolute 11925 = 02:39:00.
    const std::vector<uint8_t> sync = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    EXPECT_EQ(std::vector<uint8_t>(data.begin(), data.begin() + 12), sync);
    EXPECT_EQ(data[12], 0x02);
    EXPECT_EQ(data[13], 0x39);
    EXPECT_EQ(data[14], 0x00);
    EXPECT_EQ(data[15], 1);  // mode 1
    const uint32_t edc = data[2064] | (data[2065] << 8) | (data[2066] << 16) |
                         (static_cast<uint32_t>(data[2067]) << 24);
    EXPECT_EQ(edc, CdromEdc(std::span(data.data(), 2064)));
    EXPECT_NE(edc, 0U);
    // A CRC stored least significant byte first leaves a zero residue.
    EXPECT_EQ(CdromEdc(std::span(data.data(), 2068)), 0U);
    EXPECT_EQ(data[kFrameBytes + 14], 0x01);  // next sector: frame 1

    DiscDescription cooked = Disc({225});
    cooked.tracks.push_back({50, TrackMode::Mode1Cooked, 0, 150, 1});
    cooked.tracks.push_back({20, TrackMode::Mode2Raw, 0, 0, 1});
    ASSERT_TRUE(WriteDiscImage(cooked, dir.path(), "mixed"));
    EXPECT_EQ(ReadFile(dir.path() / "mixed-02.bin").size(), 50U * 2048);
    const std::vector<uint8_t> mode2 = ReadFile(dir.path() / "mixed-03.bin");
    ASSERT_EQ(mode2.size(), 20U * kFrameBytes);
    EXPECT_EQ(mode2[15], 2);
    // Audio stops where the data track's PREGAP begins.
    EXPECT_EQ(ExpectedTrackPcm(cooked, 1).size(), 225U * kFrameBytes);
    EXPECT_TRUE(ExpectedTrackPcm(cooked, 2).empty());
    EXPECT_EQ(ExpectedTocOf(cooked).trackStarts, (std::vector<uint32_t>{0, 375, 425}));
}

TEST(DiscGeneratorAudio, IsMusicNotSilenceNorATone) {
    const DiscDescription disc = Disc({30 * 75});
    const std::vector<uint8_t> pcm = ExpectedTrackPcm(disc, 1);
    const std::vector<int16_t> left = Channel(pcm, 0);
    const std::vector<int16_t> right = Channel(pcm, 1);
    ASSERT_EQ(left.size(), 30U * 44100);

    // Audible all the way through, never clipped flat.
    for (size_t second = 0; second < 30; ++second) {
        double sum = 0;
        for (size_t i = second * 44100; i < (second + 1) * 44100; ++i) {
            sum += static_cast<double>(left[i]) * left[i];
        }
        EXPECT_GT(std::sqrt(sum / 44100), 300.0) << "second " << second;
    }
    EXPECT_LT(std::count(left.begin(), left.end(), int16_t{32767}), 10);
    // Stereo: the channels differ.
    size_t same = 0;
    for (size_t i = 0; i < left.size(); ++i) {
        same += left[i] == right[i] ? 1 : 0;
    }
    EXPECT_LT(same, left.size() / 50);
    // Many partials at once, and the harmony moves over time.
    std::vector<int> dominant;
    for (size_t second = 1; second < 29; second += 3) {
        const std::vector<double> spectrum = Spectrum(left, second * 44100);
        EXPECT_GE(CountPeaks(spectrum), 6) << "second " << second;
        dominant.push_back(DominantBin(spectrum));
    }
    std::sort(dominant.begin(), dominant.end());
    EXPECT_GE(std::unique(dominant.begin(), dominant.end()) - dominant.begin(), 3);
}

TEST(DiscGeneratorAudio, StreamDoesNotDependOnHowItIsSplit) {
    MusicSynth whole(5);
    MusicSynth pieces(5);
    std::vector<int16_t> a(2 * 50000);
    std::vector<int16_t> b(2 * 50000);
    whole.Render(a);
    size_t at = 0;
    for (size_t step : {1U, 1000U, 17U, 44100U, 3U}) {  // in stereo samples
        const size_t n = std::min(2 * step, b.size() - at);
        pieces.Render(std::span(b).subspan(at, n));
        at += n;
    }
    pieces.Render(std::span(b).subspan(at));
    EXPECT_EQ(a, b);
}

TEST(DemoDisc, WritesImageIniAndDatabase) {
    TempDir dir;
    std::string error;
    ASSERT_TRUE(WriteDemo(dir.path() / "demo", &error)) << error;
    const DiscDescription disc = DemoDiscDescription();
    const ExpectedToc toc = ExpectedTocOf(disc);
    for (uint32_t frames : {toc.trackStarts[1], toc.leadout - toc.trackStarts.back()}) {
        EXPECT_GE(frames, 20U * 75);
        EXPECT_LE(frames, 40U * 75);
    }
    EXPECT_EQ(ReadFile(dir.path() / "demo" / "drive" / "demo.bin").size(), uint64_t{toc.leadout} * kFrameBytes);
    const fs::path database = fs::canonical(dir.path()) / "demo" / "database";
    EXPECT_EQ(ReadText(dir.path() / "demo" / "config" / "Zephyrtone" / "zephtone.ini"),
              "datadir:" + database.string() + "/\n");
    char name[16];
    std::snprintf(name, sizeof name, "%x.cdb", toc.cddbId);
    const std::string text = ReadText(database / name);
    const DemoAlbum& album = DemoAlbumInfo();
    ASSERT_EQ(album.trackTitles.size(), disc.tracks.size());
    EXPECT_NE(text.find("DARTIST=" + album.artist + "\n"), std::string::npos);
    EXPECT_NE(text.find("DTITLE=" + album.title + "\n"), std::string::npos);
    // Slot n names track n.
    EXPECT_NE(text.find("TTITLE1=" + album.trackTitles[0] + "\n"), std::string::npos);
    EXPECT_NE(text.find("TTITLE5=" + album.trackTitles[4] + "\n"), std::string::npos);
    EXPECT_EQ(text.find("TTITLE0="), std::string::npos);
    const std::string env = ReadText(dir.path() / "demo" / "env.sh");
    EXPECT_NE(env.find("CADRIX_VIRTUAL_DRIVES='" + (fs::canonical(dir.path()) / "demo" / "drive").string() + "'"),
              std::string::npos);
}
