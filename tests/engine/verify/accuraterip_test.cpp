// AccurateRip's disc ids against published ones, the track sums against
// whipper's accuraterip-checksum, database files cut short or for other
// discs, and the read offsets kept per drive in the settings file.
#include <gtest/gtest.h>

#include <fstream>

#include "disc_generator.h"
#include "file_bytes.h"
#include "output/wave_writer.h"
#include "run_program.h"
#include "settings/settings.h"
#include "temp_dir.h"
#include "verify/accuraterip.h"

namespace cadrix {
namespace {

// A query from track starts (LSN), data tracks and the lead-out.
DiscQuery Query(const std::vector<uint32_t>& starts, uint32_t leadOut, const std::vector<int>& data = {}) {
    DiscQuery disc;
    disc.trackCount = static_cast<int32_t>(starts.size());
    disc.toc.lastTrack = static_cast<uint8_t>(starts.size());
    for (size_t k = 0; k <= starts.size(); ++k) {
        TocEntry& entry = disc.toc.entries[k];
        SetTocAddress(entry, k < starts.size() ? starts[k] : leadOut);
        for (int t : data) entry.adrControl |= t == static_cast<int>(k + 1) ? 0x04 : 0;
    }
    return disc;
}

TEST(AccurateRip, DiscIdsAreThePublishedOnes) {
    // cdtoc's documented example, and an Enhanced CD ("Liquid", ten audio
    // tracks and a data track) as dBpoweramp and EAC compute it.
    const AccurateRipDiscId plain = MakeAccurateRipDiscId(
        Query({0, 0x2D2B - 150, 0x6256 - 150, 0xB327 - 150}, 0xD84A - 150));
    EXPECT_EQ(plain.Text(), "004-0002189a-00087f33-1f02e004");
    EXPECT_EQ(plain.FilePath(), "accuraterip/a/9/8/dBAR-004-0002189a-00087f33-1f02e004.bin");
    const AccurateRipDiscId enhanced = MakeAccurateRipDiscId(
        Query({0, 12617, 40337, 63075, 93260, 117965, 151715, 184190, 215110, 247305, 281585}, 333651, {11}));
    EXPECT_EQ(enhanced.Text(), "010-00164419-00b9f6e2-9e11600b");
}

// First, middle and last tracks, fed in blocks of odd sizes, against
// whipper's independent implementation.
TEST(AccurateRip, TrackSumsMatchWhippersAccurateRipChecksum) {
    if (test::RunCommand({"sh", "-c", "command -v accuraterip-checksum"}, {}).status != 0) {
        GTEST_SKIP() << "accuraterip-checksum (Debian's whipper) is missing: bash scripts/install-deps.sh";
    }
    test::TempDir tmp;
    discgen::DiscDescription disc;
    disc.seed = 31;
    disc.tracks = {{.frames = 300}, {.frames = 420}, {.frames = 260}};
    for (int t = 1; t <= 3; ++t) {
        const std::vector<uint8_t> pcm = discgen::ExpectedTrackPcm(disc, t);
        TrackChecksum sums;
        sums.Begin(t == 1, t == 3);
        for (size_t at = 0, step = 1; at < pcm.size(); at += step, step = step * 7 % 65537 + 3) {
            sums.Add({pcm.data() + at, std::min(step, pcm.size() - at)});
        }
        sums.Finish();
        const std::string wav = tmp / ("t" + std::to_string(t) + ".wav");
        std::FILE* file = std::fopen(wav.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        WriteWaveHeader(file, static_cast<uint32_t>(pcm.size()));
        std::fwrite(pcm.data(), 1, pcm.size(), file);
        std::fclose(file);
        for (const char* version : {"--accuraterip-v1", "--accuraterip-v2"}) {
            const auto run = test::RunCommand({"accuraterip-checksum", version, wav, std::to_string(t), "3"}, {});
            char ours[16];
            std::snprintf(ours, sizeof ours, "%08X\n", version[15] == '1' ? sums.v1 : sums.v2);
            EXPECT_EQ(run.output, ours) << "track " << t << " " << version;
        }
        EXPECT_EQ(sums.samples, pcm.size() / 4);
    }
}

TEST(AccurateRip, FilesCutShortOrForOtherDiscsProveNothing) {
    const AccurateRipDiscId disc{2, 0x11, 0x22, 0x33000002};
    std::vector<uint8_t> file = {2, 0x11, 0, 0, 0, 0x22, 0, 0,    0, 2, 0, 0, 0x33, 7, 0xAA, 0,
                                 0, 0,    0, 0, 0, 0,    9, 0xBB, 0, 0, 0, 0, 0,    0, 0};
    std::vector<uint8_t> other = file;
    other[1] = 0x12;  // another disc's submission
    file.insert(file.begin(), other.begin(), other.end());
    auto submissions = ParseAccurateRipFile(file);
    ASSERT_EQ(submissions.size(), 2u);
    const ArTrackResult first = MatchTrack(submissions, disc, 1, 0xAA, 0x1234);
    EXPECT_EQ(first.verdict, ArVerdict::Accurate);
    EXPECT_EQ(first.confidence, 7u);
    EXPECT_FALSE(first.v2);
    EXPECT_EQ(MatchTrack(submissions, disc, 2, 0xAA, 0xBC).verdict, ArVerdict::NotAccurate);
    EXPECT_EQ(MatchTrack(submissions, {2, 1, 1, 1}, 1, 0xAA, 0).verdict, ArVerdict::NotInDatabase);
    // A submission announcing more tracks than the file holds ends the file.
    file.insert(file.end(), {255, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13});
    EXPECT_EQ(ParseAccurateRipFile(file).size(), 2u);
    file.resize(file.size() - 14 - 20);
    EXPECT_EQ(ParseAccurateRipFile(file).size(), 1u);
}

TEST(AccurateRip, ReadOffsetsAreKeptPerDriveBesideTheSuitesValues) {
    test::TempDir tmp;
    const std::string path = tmp / "Zephyrtone.conf";
    std::ofstream(path) << "Other=1\nCadrixReadOffset.PIONEER BDR-209D=+667\nCadrixDir=/music\n";
    ASSERT_TRUE(SaveDriveReadOffset(path, "PIONEER BDR-209D", -30));
    ASSERT_TRUE(SaveDriveReadOffset(path, "HL-DT-ST GH24=X", 6));
    EXPECT_EQ(LoadDriveReadOffset(path, "PIONEER BDR-209D"), -30);
    EXPECT_EQ(LoadDriveReadOffset(path, "HL-DT-ST GH24=X"), 6);
    EXPECT_EQ(LoadDriveReadOffset(path, "NOBODY"), std::nullopt);
    const auto bytes = test::ReadWholeFile(path);
    EXPECT_EQ(
        std::string(bytes.begin(), bytes.end()),
        "Other=1\nCadrixReadOffset.PIONEER BDR-209D=-30\nCadrixDir=/music\nCadrixReadOffset.HL-DT-ST GH24_X=+6\n");
}

}  // namespace
}  // namespace cadrix
