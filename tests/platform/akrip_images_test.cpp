// Disc images as virtual drives, through the entry points of akrip.so: the
// TOC (LBA), the CDDB id and bit-exact audio of every image shape we accept,
// and "no disc" for every damaged one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>

#include "akrip_fixture.h"

namespace akrip_test {
namespace {

std::string Msf(uint32_t frames) {
    char text[16];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", frames / 4500, frames / 75 % 60, frames % 75);
    return text;
}

Bytes AllTracks() { return Concat({Track(0), Track(1), Track(2), Track(3)}); }

// The plain four-track sheet for one BINARY/MOTOROLA file.
std::string FourTrackCue(const std::string& file, const std::string& type) {
    std::string cue = "FILE \"" + file + "\" " + type + "\n";
    uint32_t at = 0;
    for (int t = 0; t < 4; ++t) {
        cue += "  TRACK 0" + std::to_string(t + 1) + " AUDIO\n    INDEX 01 " + Msf(at) + "\n";
        at += kTrackFrames[t];
    }
    return cue;
}

struct AudioRegion {
    uint32_t start;
    Bytes samples;
};

struct ImageCase {
    const char* name;
    std::function<void(const TempDir&)> write;
    std::vector<uint32_t> lba;  // track starts, then the lead-out
    uint32_t discId;
    uint32_t dataTracks;  // bit k: track k + 1 is data
    std::function<std::vector<AudioRegion>()> audio;
};

const ImageCase kCases[] = {
    {"Binary",
     [](const TempDir& d) {
         WriteFile(d / "audio.bin", AllTracks());
         WriteText(d / "audio.cue", FourTrackCue("audio.bin", "BINARY"));
     },
     {0, 225, 540, 953, 1403},
     0x15001204,
     0,
     [] {
         return std::vector<AudioRegion>{{0, AllTracks()}};
     }},
    {"Motorola",
     [](const TempDir& d) {
         WriteFile(d / "audio_be.bin", Swapped(AllTracks()));
         WriteText(d / "audio_be.cue", FourTrackCue("audio_be.bin", "MOTOROLA"));
     },
     {0, 225, 540, 953, 1403},
     0x15001204,
     0,
     [] {
         return std::vector<AudioRegion>{{0, AllTracks()}};
     }},
    {"WaveFiles",
     [](const TempDir& d) {
         std::string cue;
         for (int t = 0; t < 4; ++t) {
             const std::string name = "t" + std::to_string(t + 1) + ".wav";
             WriteFile(d / name, Wave(Track(t), t == 1));
             cue += "FILE \"" + name + "\" WAVE\n TRACK 0" + std::to_string(t + 1) + " AUDIO\n  INDEX 01 00:00:00\n";
         }
         WriteText(d / "wave.cue", cue);
     },
     {0, 225, 540, 953, 1403},
     0x15001204,
     0,
     [] {
         return std::vector<AudioRegion>{{0, AllTracks()}};
     }},
    {"WaveWithPartialLastFrame",
     [](const TempDir& d) {
         Bytes tail = Music(1, 5);
         tail.resize(400);  // 100 samples
         WriteFile(d / "t.wav", Wave(Concat({Track(0), tail})));
         WriteText(d / "t.cue", "FILE \"t.wav\" WAVE\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n");
     },
     {0, 226},
     0x02000301,
     0,
     [] {
         Bytes last = Music(1, 5);
         std::fill(last.begin() + 400, last.end(), 0);  // completed with silence
         return std::vector<AudioRegion>{{0, Concat({Track(0), last})}};
     }},
    {"BomLowerCaseUnquotedNamesCrlf",
     [](const TempDir& d) {
         std::string cue = "\xEF\xBB\xBFrem COMMENT \"made by hand\"\r\nperformer \"Someone\"\r\n";
         for (int t = 0; t < 4; ++t) {
             WriteFile(d / ("part " + std::to_string(t + 1) + ".bin"), Track(t));
             cue += "file PART " + std::to_string(t + 1) + ".BIN binary\r\n  track " + std::to_string(t + 1) +
                    " audio\r\n    title \"x\"\r\n    index 01 00:00:00\r\n";
         }
         WriteText(d / "lower.cue", cue);
     },
     {0, 225, 540, 953, 1403},
     0x15001204,
     0,
     [] {
         return std::vector<AudioRegion>{{0, AllTracks()}};
     }},
    {"Index00PregapsInFile",
     [](const TempDir& d) {
         WriteFile(d / "pregap.bin", Concat({Track(0), Silence(150), Track(1), Music(75, 9), Track(2), Track(3)}));
         WriteText(d / "pregap.cue",
                   "FILE \"pregap.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
                   " TRACK 02 AUDIO\n  INDEX 00 00:03:00\n  INDEX 01 00:05:00\n"
                   " TRACK 03 AUDIO\n  INDEX 00 00:09:15\n  INDEX 01 00:10:15\n"
                   " TRACK 04 AUDIO\n  INDEX 01 00:15:53\n");
     },
     {0, 375, 765, 1178, 1628},
     0x14001504,
     0,
     [] {
         return std::vector<AudioRegion>{
             {0, Concat({Track(0), Silence(150), Track(1), Music(75, 9), Track(2), Track(3)})}};
     }},
    {"HiddenTrackOneAudio",
     [](const TempDir& d) {
         WriteFile(d / "htoa.bin", Concat({Music(300, 8), AllTracks()}));
         WriteText(d / "htoa.cue",
                   "FILE \"htoa.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 00 00:00:00\n  INDEX 01 00:04:00\n"
                   " TRACK 02 AUDIO\n  INDEX 01 00:07:00\n TRACK 03 AUDIO\n  INDEX 01 00:11:15\n"
                   " TRACK 04 AUDIO\n  INDEX 01 00:16:53\n");
     },
     {300, 525, 840, 1253, 1703},
     0x1c001204,
     0,
     [] {
         return std::vector<AudioRegion>{{0, Concat({Music(300, 8), AllTracks()})}};
     }},
    {"PregapAndPostgapCommands",
     [](const TempDir& d) {
         WriteFile(d / "audio.bin", AllTracks());
         WriteText(d / "gaps.cue",
                   "FILE \"audio.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
                   " TRACK 02 AUDIO\n  PREGAP 00:02:00\n  INDEX 01 00:03:00\n TRACK 03 AUDIO\n  INDEX 01 00:07:15\n"
                   " TRACK 04 AUDIO\n  INDEX 01 00:12:53\n  POSTGAP 00:01:00\n");
     },
     {0, 375, 690, 1103, 1628},
     0x12001504,
     0,
     [] {
         return std::vector<AudioRegion>{
             {0, Concat({Track(0), Silence(150), Track(1), Track(2), Track(3), Silence(75)})}};
     }},
    {"DataTrackMode1Raw",
     [](const TempDir& d) {
         WriteFile(d / "extra.bin", Concat({AllTracks(), DataSectors(335, 2352)}));
         WriteText(d / "extra.cue", FourTrackCue("extra.bin", "BINARY") +
                                        " TRACK 05 MODE1/2352\n  INDEX 00 00:18:53\n  INDEX 01 00:20:53\n");
     },
     {0, 225, 540, 953, 1553, 1738},
     0x19001705,
     1u << 4,
     [] {
         return std::vector<AudioRegion>{{0, AllTracks()}};
     }},
    {"DataTrackMode1CookedSecondFile",
     [](const TempDir& d) {
         WriteFile(d / "audio.bin", AllTracks());
         WriteFile(d / "data.iso", DataSectors(185, 2048));
         WriteText(d / "extra2048.cue", FourTrackCue("audio.bin", "BINARY") +
                                            "FILE \"data.iso\" BINARY\n TRACK 05 MODE1/2048\n"
                                            "  PREGAP 00:02:00\n  INDEX 01 00:00:00\n");
     },
     {0, 225, 540, 953, 1553, 1738},
     0x19001705,
     1u << 4,
     [] {
         return std::vector<AudioRegion>{{0, AllTracks()}};
     }},
    {"DataTrackMode2Raw",
     [](const TempDir& d) {
         WriteFile(d / "xa.bin", Concat({AllTracks(), DataSectors(335, 2352)}));
         WriteText(d / "xa.cue", FourTrackCue("xa.bin", "BINARY") +
                                     " TRACK 05 MODE2/2352\n  INDEX 00 00:18:53\n  INDEX 01 00:20:53\n");
     },
     {0, 225, 540, 953, 1553, 1738},
     0x19001705,
     1u << 4,
     [] {
         return std::vector<AudioRegion>{{0, AllTracks()}};
     }},
    {"MixedModeDataFirst",
     [](const TempDir& d) {
         WriteFile(d / "mixed.bin", Concat({DataSectors(185, 2352), Silence(150), AllTracks()}));
         WriteText(d / "mixed.cue",
                   "FILE \"mixed.bin\" BINARY\n TRACK 01 MODE1/2352\n  INDEX 01 00:00:00\n"
                   " TRACK 02 AUDIO\n  INDEX 00 00:02:35\n  INDEX 01 00:04:35\n"
                   " TRACK 03 AUDIO\n  INDEX 01 00:07:35\n TRACK 04 AUDIO\n  INDEX 01 00:11:50\n"
                   " TRACK 05 AUDIO\n  INDEX 01 00:17:13\n");
     },
     {0, 335, 560, 875, 1288, 1738},
     0x1f001705,
     1u << 0,
     [] {
         return std::vector<AudioRegion>{{185, Concat({Silence(150), AllTracks()})}};
     }},
    {"SecondSessionDataTrack",
     [](const TempDir& d) {
         WriteFile(d / "audio.bin", AllTracks());
         WriteFile(d / "data.bin", DataSectors(185, 2352));
         WriteText(d / "extra_ms.cue", "REM SESSION 01\n" + FourTrackCue("audio.bin", "BINARY") +
                                           "REM SESSION 02\nFILE \"data.bin\" BINARY\n"
                                           " TRACK 05 MODE1/2352\n  INDEX 01 00:00:00\n");
     },
     {0, 225, 540, 953, 12803, 12988},
     0x1f00ad05,
     1u << 4,
     [] {
         return std::vector<AudioRegion>{{0, AllTracks()}};
     }},
    {"CdrdaoRawFilesPerTrack",
     [](const TempDir& d) {
         std::string toc =
             "CD_DA\n// written by hand\nCD_TEXT {\n  LANGUAGE_MAP { 0 : EN }\n"
             "  LANGUAGE 0 { TITLE \"A } tricky\" }\n}\n";
         for (int t = 0; t < 4; ++t) {
             const std::string name = "t" + std::to_string(t + 1) + ".raw";
             WriteFile(d / name, Swapped(Track(t)));
             toc += "TRACK AUDIO\nNO COPY\nISRC \"DEXXX0000001\"\n";
             if (t == 3) toc += "SILENCE 00:01:00\nSTART\n";
             toc += "FILE \"" + name + "\" 0\n";
         }
         WriteText(d / "audio.toc", toc);
     },
     {0, 225, 540, 1028, 1478},
     0x16001304,
     0,
     [] {
         return std::vector<AudioRegion>{{0, Concat({Track(0), Track(1), Track(2), Silence(75), Track(3)})}};
     }},
    {"CdrdaoDataFileWithOffsets",
     [](const TempDir& d) {
         WriteFile(d / "audio.raw", Concat({Bytes(1000, 0x55), Swapped(AllTracks())}));
         WriteText(d / "audio.toc",
                   "CD_DA\nTRACK AUDIO\nDATAFILE \"audio.raw\" #1000 00:03:00 // 529200 bytes\n"
                   "TRACK AUDIO\nDATAFILE \"audio.raw\" #530200 185220\n"
                   "TRACK AUDIO\nFILE \"audio.raw\" #1000 00:07:15 00:05:38\n"
                   "TRACK AUDIO\nAUDIOFILE \"audio.raw\" #1000 00:12:53\n");
     },
     {0, 225, 540, 953, 1403},
     0x15001204,
     0,
     [] {
         return std::vector<AudioRegion>{{0, AllTracks()}};
     }},
    {"CdrdaoWaveSwapPregap",
     [](const TempDir& d) {
         WriteFile(d / "t1.wav", Wave(Track(0)));
         WriteFile(d / "t2.raw", Track(1));
         WriteFile(d / "t34.raw", Swapped(Concat({Track(2), Track(3)})));
         WriteText(d / "mixed.toc",
                   "CD_DA\nTRACK AUDIO\nAUDIOFILE \"t1.wav\" 0\n"
                   "TRACK AUDIO\nPREGAP 00:02:00\nFILE \"t2.raw\" SWAP 0\n"
                   "TRACK AUDIO\nFILE \"t34.raw\" 0 00:05:38\n"
                   "TRACK AUDIO\nFILE \"t34.raw\" 00:05:38\n");
     },
     {0, 375, 690, 1103, 1553},
     0x12001404,
     0,
     [] {
         return std::vector<AudioRegion>{{0, Concat({Track(0), Silence(150), Track(1), Track(2), Track(3)})}};
     }},
};

void PrintTo(const ImageCase& c, std::ostream* out) { *out << c.name; }

class ImageCaseTest : public ::testing::TestWithParam<ImageCase> {};

TEST_P(ImageCaseTest, TocDiscIdAndAudio) {
    const ImageCase& c = GetParam();
    TempDir dir;
    c.write(dir);
    Akrip akrip;
    const HCDROM handle = akrip.OpenFolder(dir.Path());
    ASSERT_NE(handle, 0u);

    EXPECT_EQ(akrip.TocLba(handle), c.lba);
    EXPECT_EQ(akrip.DiscId(handle), c.discId);
    TocBuffer toc{};
    akrip.ReadTOC(handle, &toc);
    for (uint32_t k = 0; k < toc.lastTrack; ++k) {
        EXPECT_EQ((toc.entries[k].adrControl & AKRIP_TOC_CONTROL_DATA) != 0, ((c.dataTracks >> k) & 1) != 0)
            << "track " << k + 1;
    }
    for (const AudioRegion& region : c.audio()) {
        const auto frames = static_cast<uint32_t>(region.samples.size() / kFrameBytes);
        const Bytes read = akrip.ReadAll(handle, region.start, frames);
        EXPECT_TRUE(read == region.samples) << "audio differs from frame " << region.start;
    }
    akrip.CloseCDHandle(handle);
}

INSTANTIATE_TEST_SUITE_P(AkripImages, ImageCaseTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Damaged or unusable images are no disc, never a wrong TOC.
struct BrokenCase {
    const char* name;
    std::function<void(const TempDir&)> write;
};

const BrokenCase kBroken[] = {
    {"MissingFile", [](const TempDir& d) { WriteText(d / "a.cue", FourTrackCue("gone.bin", "BINARY")); }},
    {"TruncatedInsideLastTrack",
     [](const TempDir& d) {
         WriteFile(d / "a.bin", Music(900, 1));
         WriteText(d / "a.cue", FourTrackCue("a.bin", "BINARY"));
     }},
    {"PartialLastSector",
     [](const TempDir& d) {
         WriteFile(d / "a.bin", Concat({AllTracks(), Bytes(100, 1)}));
         WriteText(d / "a.cue", FourTrackCue("a.bin", "BINARY"));
     }},
    {"TruncatedWave",
     [](const TempDir& d) {
         Bytes wave = Wave(Track(0));
         wave.resize(wave.size() - 5000);
         WriteFile(d / "t.wav", wave);
         WriteText(d / "a.cue", "FILE t.wav WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n");
     }},
    {"WaveNotCdAudio",
     [](const TempDir& d) {
         Bytes wave = Wave(Track(0));
         wave[22] = 1;  // mono
         WriteFile(d / "t.wav", wave);
         WriteText(d / "a.cue", "FILE t.wav WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n");
     }},
    {"NoIndex01",
     [](const TempDir& d) {
         WriteFile(d / "a.bin", AllTracks());
         WriteText(d / "a.cue", "FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 00 00:00:00\n");
     }},
    {"IndexGoesBack",
     [](const TempDir& d) {
         WriteFile(d / "a.bin", AllTracks());
         WriteText(d / "a.cue",
                   "FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:05:00\n"
                   "TRACK 02 AUDIO\nINDEX 01 00:01:00\n");
     }},
    {"CompressedFileType",
     [](const TempDir& d) {
         WriteFile(d / "a.mp3", AllTracks());
         WriteText(d / "a.cue", "FILE a.mp3 MP3\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n");
     }},
    {"TrackStartsPastFileEnd",
     [](const TempDir& d) {
         WriteFile(d / "a.bin", Music(100, 1));
         WriteText(d / "a.cue",
                   "FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                   "TRACK 02 AUDIO\nINDEX 01 00:03:00\n");
     }},
    {"CdrdaoMissingFile",
     [](const TempDir& d) { WriteText(d / "a.toc", "CD_DA\nTRACK AUDIO\nFILE \"gone.raw\" 0\n"); }},
    {"CdrdaoLengthPastFileEnd",
     [](const TempDir& d) {
         WriteFile(d / "a.raw", Music(100, 1));
         WriteText(d / "a.toc", "CD_DA\nTRACK AUDIO\nFILE \"a.raw\" 0 00:02:00\n");
     }},
    {"NotASheet",
     [](const TempDir& d) {
         WriteFile(d / "a.bin", AllTracks());
         WriteText(d / "a.cue", "this is not a cue sheet\n\x01\x02\x03");
     }},
};

void PrintTo(const BrokenCase& c, std::ostream* out) { *out << c.name; }

class BrokenImageTest : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(BrokenImageTest, IsNoDisc) {
    TempDir dir;
    GetParam().write(dir);
    Akrip akrip;
    const HCDROM handle = akrip.OpenFolder(dir.Path());
    ASSERT_NE(handle, 0u);
    TocBuffer toc{};
    toc.lastTrack = 7;
    EXPECT_EQ(akrip.ReadTOC(handle, &toc), 0);
    EXPECT_EQ(toc.lastTrack, 0);
    uint32_t words[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    EXPECT_EQ(akrip.GetCDDBDiskID(handle, words, 8), 0u);
    ReadBlock block;
    EXPECT_EQ(block.Read(akrip, handle, 0, 1), 0);
}

INSTANTIATE_TEST_SUITE_P(AkripImages, BrokenImageTest, ::testing::ValuesIn(kBroken),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace akrip_test
