// Peers as oracles: Linux CD programs we did not write, run unchanged on the
// emulated drive, must read from it what the image holds. The image is the
// reference: where a peer's reading and the image differ, the message gives
// both and the image's value is the right one.
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cdrdao_toc.h"
#include "data_sector.h"
#include "disc_generator.h"
#include "disc_image.h"
#include "file_bytes.h"
#include "run_program.h"
#include "temp_dir.h"
#include "virtual_drive.h"

namespace cadrix {
namespace {

namespace dg = discgen;

// A disc with everything the sub-channel and the lead-in carry: a catalog
// number, ISRCs on two tracks, INDEX 00 pregaps (one stored, one PREGAP),
// INDEX 02 points, pre-emphasis on one track, CD-Text, and a Mode 1 data
// track with its pregap last.
dg::DiscDescription RichDisc() {
    dg::DiscDescription disc = dg::AudioDisc({900, 675, 750}, 21);
    disc.mcn = "0724384960629";
    disc.title = "Peers";
    disc.performer = "Cadrix Ensemble";
    disc.tracks[0].isrc = "DEA123400001";
    disc.tracks[0].index2Frames = 300;
    disc.tracks[1].indexZeroFrames = 75;
    disc.tracks[1].preEmphasis = true;
    disc.tracks[1].index2Frames = 200;
    disc.tracks[2].pregapFrames = 150;
    disc.tracks[2].isrc = "USRC17607839";
    for (size_t k = 0; k < disc.tracks.size(); ++k) disc.tracks[k].title = "Part " + std::to_string(k + 1);
    dg::TrackDescription data{.frames = 300, .mode = dg::TrackMode::Mode1Raw, .indexZeroFrames = 150};
    disc.tracks.push_back(data);
    return disc;
}

class Peers : public ::testing::Test {
protected:
    bool Installed(const std::string& program) {
        return test::RunCommand({"sh", "-c", "command -v " + program}, {}).status == 0;
    }
    std::string Image(const dg::DiscDescription& disc) {
        EXPECT_TRUE(dg::WriteDiscImage(disc, tmp.path() / "image", "disc"));
        return tmp / "image/disc.cue";
    }
    // `script` run by sh in the test's folder with the emulated drive at
    // `device` ($CADRIX_DRIVESIM_DEVICE), its standard error included.
    test::ProgramResult OnDrive(const std::string& cue, const std::string& script, const std::string& device = {}) {
        std::vector<std::string> args{"--image", cue, "--log", tmp / "drive.log"};
        if (!device.empty()) args.insert(args.end(), {"--device", device});
        args.insert(args.end(), {"--", "sh", "-c", "cd \"$0\" && " + script, tmp.Path()});
        test::ProgramOptions options;
        options.withStderr = true;
        options.timeoutSeconds = 300;
        options.env = {"ASAN_OPTIONS=detect_leaks=0"};  // a sanitized build preloads its runtime into the peer
        return test::RunProgram(CADRIX_DRIVESIM_PATH, args, options);
    }
    test::TempDir tmp;
};

// The "pre" column of track `t` in cdparanoia's table of contents:
// "  2.      825 [00:11.00]      975 [00:13.00]    no   yes  2".
std::string PreEmphasisColumn(const std::string& output, int t) {
    const size_t at = output.find("\n  " + std::to_string(t) + ".  ");
    if (at == std::string::npos) return "(no line)";
    std::istringstream line(output.substr(at + 1, output.find('\n', at + 1) - at - 1));
    std::vector<std::string> words{std::istream_iterator<std::string>(line), {}};
    return words.size() == 8 ? words[6] : "(unreadable)";
}

// cdparanoia talks SG_IO to a device path that does not exist on the
// machine (realpath, SG_GET_RESERVED_SIZE, MODE SENSE 2Ah) and rips every
// track as the image holds it; its TOC shows the pre-emphasis flag.
TEST_F(Peers, XiphCdparanoiaRipsEveryTrackBitForBit) {
    if (!Installed("cdparanoia")) GTEST_SKIP() << "cdparanoia is not installed (scripts/install-deps.sh installs it)";
    const dg::DiscDescription disc = RichDisc();
    const auto run = OnDrive(Image(disc), "cdparanoia -d /dev/sr0 -Q && cdparanoia -d /dev/sr0 -B", "/dev/sr0");
    ASSERT_EQ(run.status, 0) << run.output << test::ReadFile(tmp / "drive.log");
    // cdparanoia ends track 3 where track 4 starts, so it rips the data
    // track's pregap as audio: the drive gives those sectors raw. The image
    // makes them Mode 1 data, and Cadrix's audio of track 3 ends before them.
    const dg::ExpectedToc toc = dg::ExpectedTocOf(disc);
    std::vector<uint8_t> pregap;
    for (uint32_t lba = toc.trackStarts[3] - 150; lba < toc.trackStarts[3]; ++lba) {
        std::vector<uint8_t> sector(dg::kFrameBytes);
        dg::MakeDataSector(dg::TrackMode::Mode1Raw, lba, disc.seed, sector);
        pregap.insert(pregap.end(), sector.begin(), sector.end());
    }
    for (int t = 1; t <= 3; ++t) {
        const auto wav = test::ReadWholeFile(tmp / ("track0" + std::to_string(t) + ".cdda.wav"));
        auto pcm = dg::ExpectedTrackPcm(disc, t);
        if (t == 3) pcm.insert(pcm.end(), pregap.begin(), pregap.end());
        EXPECT_TRUE(wav.size() == pcm.size() + 44 && std::equal(pcm.begin(), pcm.end(), wav.begin() + 44))
            << "track " << t << ": cdparanoia ripped " << wav.size() - 44 << " bytes, the image holds " << pcm.size()
            << (t == 3 ? " (its audio and the data track's 150 pregap sectors, which are not audio)" : "");
    }
    for (int t = 1; t <= 3; ++t) {
        EXPECT_EQ(PreEmphasisColumn(run.output, t), disc.tracks[t - 1u].preEmphasis ? "yes" : "no")
            << "cdparanoia's 'pre' column of track " << t << "; the image's FLAGS are right\n"
            << run.output;
    }
}

// Lays out a TOC file written by cdrdao against a data file as long as the
// disc, for comparing its TOC with the image's.
std::optional<akrip::DiscImage> ReadBackToc(const std::string& text, int32_t leadOut) {
    const auto plan = akrip::ParseCdrdaoToc(text);
    if (!plan) return std::nullopt;
    return akrip::LayoutDiscImage(*plan, [leadOut](const akrip::PlanFile&) {
        akrip::ImageFile file;
        file.payloadBytes = uint64_t{2352} * static_cast<uint64_t>(leadOut);
        return std::optional<akrip::ImageFile>(std::move(file));
    });
}

std::string Indexes(const akrip::TocTrack& track) {
    std::string text;
    for (const auto& index : track.indexes)
        text += std::to_string(index.number) + "@" + std::to_string(index.lsn) + " ";
    return text;
}

// cdrdao finds pregaps, index points and ISRCs by scanning the sub-channel
// (READ CD with raw P-W), the catalog number by READ SUB-CHANNEL, CD-Text
// by READ TOC format 5 and the data mode by a raw READ CD. The TOC file it
// writes, read back by Cadrix's own parser, is the image's TOC.
TEST_F(Peers, CdrdaoReadTocFindsWhatTheImageHolds) {
    if (!Installed("cdrdao")) GTEST_SKIP() << "cdrdao is not installed (scripts/install-deps.sh installs it)";
    const std::string cue = Image(RichDisc());
    const auto run = OnDrive(cue, R"(cdrdao read-toc --device "$CADRIX_DRIVESIM_DEVICE" read.toc)");
    ASSERT_EQ(run.status, 0) << run.output;
    const auto image = akrip::LoadDiscImage(cue);
    ASSERT_TRUE(image);
    const auto& truth = image->toc;
    const std::string text = test::ReadFile(tmp / "read.toc");
    const auto read = ReadBackToc(text, truth.leadOut);
    ASSERT_TRUE(read) << "cdrdao wrote a TOC file Cadrix cannot read:\n" << text;
    EXPECT_EQ(read->toc.mcn, truth.mcn) << "cdrdao's CATALOG; the image's is right";
    EXPECT_EQ(read->toc.discText.title, truth.discText.title) << "cdrdao's CD-Text title; the image's is right";
    ASSERT_EQ(read->toc.tracks.size(), truth.tracks.size()) << text;
    for (size_t k = 0; k < truth.tracks.size(); ++k) {
        const auto &seen = read->toc.tracks[k], &right = truth.tracks[k];
        const std::string track = "track " + std::to_string(k + 1) + ", cdrdao then the image (right): ";
        EXPECT_EQ(seen.start, right.start) << track << "INDEX 01";
        EXPECT_EQ(seen.PregapStart(), right.PregapStart()) << track << "pregap start\n" << text;
        EXPECT_EQ(Indexes(seen), Indexes(right)) << track << "index points\n" << text;
        EXPECT_EQ(seen.isrc, right.isrc) << track << "ISRC";
        EXPECT_EQ(seen.control, right.control) << track << "control bits (pre-emphasis, data)";
        EXPECT_EQ(read->toc.trackTexts[k].title, truth.trackTexts[k].title) << track << "CD-Text title";
    }
}

// cd-info (libcdio) reads the catalog number with CDROM_GET_MCN and each
// track's ISRC with READ SUB-CHANNEL; a track without one prints none.
TEST_F(Peers, CdInfoPrintsTheCatalogNumberAndIsrcs) {
    if (!Installed("cd-info")) GTEST_SKIP() << "cd-info is not installed (libcdio-utils; scripts/install-deps.sh)";
    const dg::DiscDescription disc = RichDisc();
    const auto run = OnDrive(Image(disc), R"(cd-info --no-cddb "$CADRIX_DRIVESIM_DEVICE")");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("Media Catalog Number (MCN): " + disc.mcn + "\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("TRACK  1 ISRC: " + disc.tracks[0].isrc + "\n"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("TRACK  2 ISRC:"), std::string::npos) << "the image gives track 2 no ISRC\n"
                                                                    << run.output;
    EXPECT_NE(run.output.find("TRACK  3 ISRC: " + disc.tracks[2].isrc + "\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("audio status: no status"), std::string::npos) << "CDROMSUBCHNL\n" << run.output;
}

// whipper reads the TOC through cdrdao and offline gives the disc's
// MusicBrainz TOC: first and last track, lead-out and track offsets (LBA).
TEST_F(Peers, WhipperGivesTheDiscsMusicBrainzToc) {
    if (!Installed("whipper") || !Installed("eject")) GTEST_SKIP() << "whipper or eject is not installed";
    dg::DiscDescription disc = RichDisc();
    disc.tracks.pop_back();  // audio only: whipper's TOC then covers every track
    const dg::ExpectedToc toc = dg::ExpectedTocOf(disc);
    std::string expected = "toc=1+3+" + std::to_string(toc.leadout + 150);
    for (uint32_t start : toc.trackStarts) expected += "+" + std::to_string(start + 150);
    const auto run = OnDrive(Image(disc), "HOME=\"$0\" whipper cd -d /dev/sr0 info", "/dev/sr0");
    EXPECT_NE(run.output.find(expected + "&"), std::string::npos) << "the image's TOC is " << expected << "\n"
                                                                  << run.output;
}

}  // namespace
}  // namespace cadrix
