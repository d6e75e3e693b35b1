// The parts of akrip below its entry points: sheet parsers, image layout,
// WAVE chunks, CDDB id, TOC record, the drive list and real-drive ranges.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <map>
#include <set>
#include <tuple>

#include "akrip_fixture.h"
#include "cddb_id.h"
#include "cdrdao_toc.h"
#include "cue_sheet.h"
#include "data_sector.h"
#include "data_sectors.h"
#include "disc_image.h"
#include "drive_registry.h"
#include "physical_drive.h"
#include "toc_record.h"
#include "wave_file.h"

namespace akrip {
namespace {

// Lays a plan out against files of the given sizes in bytes.
std::optional<DiscImage> Layout(const std::optional<ImagePlan>& plan, std::map<std::string, uint64_t> sizes) {
    if (!plan) return std::nullopt;
    return LayoutDiscImage(*plan, [&](const PlanFile& file) -> std::optional<ImageFile> {
        auto it = sizes.find(file.name);
        if (it == sizes.end()) return std::nullopt;
        ImageFile image;
        image.payloadBytes = it->second;
        return image;
    });
}

std::vector<int32_t> Starts(const DiscImage& image) {
    std::vector<int32_t> starts;
    for (const TocTrack& track : image.toc.tracks) starts.push_back(track.start);
    starts.push_back(image.toc.leadOut);
    return starts;
}

constexpr uint64_t kFrame = 2352;

TEST(AkripSheets, MsfTimes) {
    EXPECT_EQ(ParseMsf("00:00:00"), 0);
    EXPECT_EQ(ParseMsf("01:02:03"), 4500 + 150 + 3);
    EXPECT_EQ(ParseMsf("99:59:74"), 99 * 4500 + 59 * 75 + 74);
    for (const char* bad : {"00:60:00", "00:00:75", "1:2", "a:b:c", "-1:00:00", "00:00:", "", "0:0:0:0"}) {
        EXPECT_FALSE(ParseMsf(bad)) << bad;
    }
}

TEST(AkripSheets, CuePregapInThePreviousFile) {
    // Per-track files with the gap kept at the end of the previous file.
    auto image = Layout(ParseCueSheet("FILE \"a.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                                      "TRACK 02 AUDIO\nINDEX 00 00:02:00\n"
                                      "FILE \"b.wav\" WAVE\nINDEX 01 00:00:00\n"),
                        {{"a.wav", 300 * kFrame}, {"b.wav", 100 * kFrame}});
    ASSERT_TRUE(image);
    EXPECT_EQ(Starts(*image), (std::vector<int32_t>{0, 300, 400}));
}

TEST(AkripSheets, CueFlagsAndDataControl) {
    auto image = Layout(ParseCueSheet("FILE a.bin BINARY\nTRACK 01 AUDIO\nFLAGS DCP PRE\nINDEX 01 00:00:00\n"
                                      "TRACK 02 MODE1/2352\nFLAGS DCP\nINDEX 01 00:01:00\n"),
                        {{"a.bin", 200 * kFrame}});
    ASSERT_TRUE(image);
    EXPECT_EQ(image->toc.tracks[0].control, 0x03);
    EXPECT_EQ(image->toc.tracks[1].control, 0x06);
}

TEST(AkripSheets, CueStructureErrors) {
    const char* bad[] = {
        "TRACK 01 AUDIO\nINDEX 01 00:00:00\n",  // no FILE
        "FILE a.bin BINARY\nTRACK 02 AUDIO\nINDEX 01 00:00:00\nTRACK 01 AUDIO\nINDEX 01 00:01:00\n",
        "FILE a.bin BINARY\nTRACK 01 AUDIO\nTRACK 02 AUDIO\nINDEX 01 00:00:00\n",     // track without INDEX 01
        "FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nPREGAP 00:02:00\n",    // PREGAP after INDEX
        "FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:01:00\nINDEX 00 00:00:00\n",  // INDEX 00 after 01
        "FILE a.bin BINARY\nTRACK 01 CDG\nINDEX 01 00:00:00\n",                       // unsupported mode
        "FILE a.bin BINARY\nREM SESSION 02\nREM SESSION 01\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n",
        "",
    };
    for (const char* sheet : bad) EXPECT_FALSE(ParseCueSheet(sheet)) << sheet;

    std::string tooMany = "FILE a.bin BINARY\n";
    for (int t = 1; t <= 100; ++t) {
        tooMany += "TRACK " + std::to_string(t) + " AUDIO\nINDEX 01 00:" + std::to_string(10 + t / 75) + ":" +
                   std::to_string(t % 75) + "\n";
    }
    EXPECT_FALSE(ParseCueSheet(tooMany));
}

TEST(AkripSheets, DiscLongerThanHundredMinutesIsRejected) {
    EXPECT_FALSE(
        Layout(ParseCueSheet("FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"), {{"a.bin", 450000 * kFrame}}));
    EXPECT_TRUE(
        Layout(ParseCueSheet("FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"), {{"a.bin", 449850 * kFrame}}));
}

TEST(AkripSheets, CdrdaoSyntax) {
    auto image = Layout(ParseCdrdaoToc("// comment\nCD_ROM\nCATALOG \"0000000000000\"\n"
                                       "CD_TEXT { LANGUAGE_MAP { 0 : EN } LANGUAGE 0 { TITLE \"}\" } }\n"
                                       "TRACK MODE1\nDATAFILE \"d.iso\" 00:01:00\n"
                                       "TRACK AUDIO\nCOPY\nPRE_EMPHASIS\nZERO 00:02:00\nSTART 00:01:00\n"
                                       "FILE \"a.raw\" 0 588 // one frame\n"),
                        {{"d.iso", 75 * 2048}, {"a.raw", 10 * kFrame}});
    ASSERT_TRUE(image);
    EXPECT_EQ(Starts(*image), (std::vector<int32_t>{0, 75 + 75, 75 + 151}));
    EXPECT_EQ(image->toc.tracks[0].control, 0x04);
    EXPECT_EQ(image->toc.tracks[1].control, 0x03);

    for (const char* bad :
         {"TRACK AUDIO\nFIFO \"/tmp/x\" 100\n", "TRACK AUDIO RW\nFILE \"a\" 0\n", "FILE \"a\" 0\n", "TRACK AUDIO\n",
          "TRACK AUDIO\nSTART\nSTART\nFILE \"a\" 0\n", "CD_TEXT { unbalanced\nTRACK AUDIO\nFILE \"a\" 0\n"}) {
        EXPECT_FALSE(ParseCdrdaoToc(bad)) << bad;
    }
    // Audio that ends inside a frame is not a track.
    EXPECT_FALSE(Layout(ParseCdrdaoToc("TRACK AUDIO\nFILE \"a.raw\" 0 100\n"), {{"a.raw", 10 * kFrame}}));
}

// The sub-channel's codes and index points: CATALOG, ISRC (written apart
// and in lower case too), INDEX 02 in the same file and INDEX 02 at the
// start of the next file; a malformed ISRC is left out, the disc kept.
TEST(AkripSheets, CodesIndexPointsAndDiscType) {
    auto image = Layout(ParseCueSheet("CATALOG 0724384960629\nFILE a.bin BINARY\nTRACK 01 AUDIO\nISRC us-rc1-76-07839\n"
                                      "INDEX 01 00:00:00\nINDEX 02 00:01:00\nTRACK 02 AUDIO\nISRC XX\n"
                                      "INDEX 01 00:02:00\nFILE b.bin BINARY\nINDEX 02 00:00:00\nINDEX 03 00:00:10\n"
                                      "TRACK 03 MODE2/2352\nINDEX 01 00:01:00\n"),
                        {{"a.bin", 200 * kFrame}, {"b.bin", 200 * kFrame}});
    ASSERT_TRUE(image);
    EXPECT_EQ(image->toc.mcn, "0724384960629");
    EXPECT_EQ(image->toc.tracks[0].isrc, "USRC17607839");
    EXPECT_EQ(image->toc.tracks[1].isrc, "");
    EXPECT_EQ(image->toc.tracks[0].indexes, (std::vector<TocIndex>{{2, 75}}));
    EXPECT_EQ(image->toc.tracks[1].indexes, (std::vector<TocIndex>{{2, 200}, {3, 210}}));
    EXPECT_EQ(image->toc.discType, kDiscTypeXa);

    // cdrdao counts INDEX from the track's start, after its pregap; a TOC
    // file may state the disc type.
    image = Layout(ParseCdrdaoToc("CD_ROM\nCATALOG \"1234567890123\"\nTRACK AUDIO\nISRC \"DEA123400001\"\n"
                                  "FILE \"a.bin\" 0 00:10:00\nSTART 00:02:00\nINDEX 00:03:00\nINDEX 00:04:00\n"
                                  "TRACK MODE2_FORM1\nDATAFILE \"d.bin\"\n"),
                   {{"a.bin", 750 * kFrame}, {"d.bin", 100 * 2048}});
    ASSERT_TRUE(image);
    EXPECT_EQ(image->toc.mcn, "1234567890123");
    EXPECT_EQ(image->toc.tracks[0].isrc, "DEA123400001");
    EXPECT_EQ(image->toc.tracks[0].indexes, (std::vector<TocIndex>{{2, 375}, {3, 450}}));
    EXPECT_EQ(image->toc.discType, kDiscTypeCdda);
}

// Sectors built around what a cooked image stores carry what a disc does:
// sync, BCD header, the EDC, and P and Q parity that every code word of
// ECMA-130 annex A checks (both syndromes zero, XA form 1 with its header
// taken as zero).
TEST(AkripSectors, CookedSectorsGetEdcAndParity) {
    auto times = [](uint8_t a, uint8_t b) {
        uint8_t product = 0;
        for (; b; b >>= 1, a = static_cast<uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1D : 0))) {
            if (b & 1) product ^= a;
        }
        return product;
    };
    auto syndromesZero = [&](const std::vector<uint8_t>& word) {
        uint8_t s0 = 0;
        uint8_t s1 = 0;
        for (uint8_t c : word) {
            s0 ^= c;
            s1 = static_cast<uint8_t>(times(s1, 2) ^ c);
        }
        return s0 == 0 && s1 == 0;
    };
    for (const SectorFormat format : {SectorFormat::Mode1, SectorFormat::Mode2Form1}) {
        std::vector<uint8_t> user(2048);
        for (size_t k = 0; k < user.size(); ++k) user[k] = static_cast<uint8_t>(k * 7 + 3);
        std::array<uint8_t, kRawSectorBytes> sector{};
        ComposeRawSector(format, 16, user, sector);
        EXPECT_EQ(std::vector<uint8_t>(sector.begin() + 12, sector.begin() + 16),
                  (std::vector<uint8_t>{0x00, 0x02, 0x16, format == SectorFormat::Mode1 ? uint8_t{1} : uint8_t{2}}));
        const bool xa = format == SectorFormat::Mode2Form1;
        const size_t edcAt = xa ? 2072 : 2064;
        const uint32_t edc = cadrix::discgen::CdromEdc(std::span(sector).subspan(xa ? 16 : 0, edcAt - (xa ? 16 : 0)));
        EXPECT_EQ(std::memcmp(&sector[edcAt], &edc, 4), 0);
        if (xa) std::fill(sector.begin() + 12, sector.begin() + 16, uint8_t{0});
        for (size_t plane = 0; plane < 2; ++plane) {
            auto v = [&](size_t n) { return sector[12 + 2 * n + plane]; };
            for (size_t column = 0; column < 43; ++column) {
                std::vector<uint8_t> word;
                for (size_t row = 0; row < 26; ++row) word.push_back(v(43 * row + column));
                EXPECT_TRUE(syndromesZero(word)) << "P word " << column;
            }
            for (size_t diagonal = 0; diagonal < 26; ++diagonal) {
                std::vector<uint8_t> word;
                for (size_t k = 0; k < 43; ++k) word.push_back(v((44 * k + 43 * diagonal) % 1118));
                word.insert(word.end(), {v(1118 + diagonal), v(1144 + diagonal)});
                EXPECT_TRUE(syndromesZero(word)) << "Q word " << diagonal;
            }
        }
    }
}

ReadAtFunction ReadFrom(const akrip_test::Bytes& bytes) {
    return [&bytes](uint64_t offset, std::span<uint8_t> out) {
        if (offset > bytes.size() || out.size() > bytes.size() - offset) return false;
        std::memcpy(out.data(), bytes.data() + offset, out.size());
        return true;
    };
}

TEST(AkripWave, FindsDataChunk) {
    const akrip_test::Bytes samples = akrip_test::Music(2, 1);
    for (bool extensible : {false, true}) {
        const akrip_test::Bytes wave = akrip_test::Wave(samples, extensible);
        auto payload = FindWavePayload(ReadFrom(wave), wave.size());
        ASSERT_TRUE(payload);
        EXPECT_EQ(payload->bytes, samples.size());
        EXPECT_EQ(std::memcmp(wave.data() + payload->offset, samples.data(), samples.size()), 0);
    }
}

TEST(AkripWave, RejectsOtherFormatsAndDamage) {
    const akrip_test::Bytes good = akrip_test::Wave(akrip_test::Music(1, 1));
    auto patched = [&](size_t at, uint8_t value) {
        akrip_test::Bytes copy = good;
        copy[at] = value;
        return copy;
    };
    const akrip_test::Bytes cases[] = {
        patched(8, 'X'),                                  // not WAVE
        patched(20, 3),                                   // float samples
        patched(24, 0x22),                                // 48 kHz
        patched(34, 8),                                   // 8 bits
        akrip_test::Bytes(good.begin(), good.end() - 1),  // data chunk longer than the file
        akrip_test::Bytes(good.begin(), good.begin() + 30),
    };
    for (const auto& wave : cases) EXPECT_FALSE(FindWavePayload(ReadFrom(wave), wave.size()));
}

TEST(AkripCddb, KnownDiscs) {
    // MusicBrainz' published example disc.
    DiscToc toc;
    for (int32_t offset : {150, 15363, 32314, 46592, 63414, 80489}) toc.tracks.push_back({offset - 150, 0, 1});
    toc.leadOut = 95462 - 150;
    EXPECT_EQ(CddbDiscId(toc), 0x3404f606u);
    // The playing time is a difference of whole seconds, not whole seconds of a difference.
    DiscToc shifted;
    shifted.tracks.push_back({224 - 150, 0, 1});
    shifted.leadOut = 100000 - 150;
    EXPECT_EQ((CddbDiscId(shifted) >> 8) & 0xFFFF, 100000u / 75 - 224u / 75);
    EXPECT_EQ(CddbDiscId(DiscToc{}), 0u);
}

TEST(AkripTocRecord, NinetyNineTracksFillTheRecord) {
    DiscToc toc;
    for (int t = 0; t < 99; ++t) toc.tracks.push_back({t * 100, static_cast<uint8_t>(t == 98 ? 4 : 0), 1});
    toc.leadOut = 9900;
    TocBuffer record{};
    FillTocRecord(toc, false, record);
    EXPECT_EQ(record.lastTrack, 99);
    EXPECT_EQ(TocAddress(record.entries[98]), 9800u);
    EXPECT_EQ(record.entries[98].adrControl, 0x14);
    EXPECT_EQ(TocAddress(record.entries[99]), 9900u);
    EXPECT_EQ(record.entries[99].trackNumber, AKRIP_LEADOUT_TRACK);
}

TEST(AkripDriveList, VirtualFolders) {
    EXPECT_EQ(ParseVirtualDriveFolders("::a::b c:"), (std::vector<std::string>{"a", "b c"}));
    EXPECT_TRUE(ParseVirtualDriveFolders("").empty());
    EXPECT_TRUE(ParseVirtualDriveFolders(":::").empty());

    std::vector<PhysicalDriveInfo> physical(3);
    for (int k = 0; k < 3; ++k) physical[k] = {"/dev/sr" + std::to_string(k), uint8_t(k), 0, 0, "DVD-ROM DRIVE   "};
    const auto drives = BuildDriveList(physical, {"/x/one/", "/", "two", "3", "4", "5", "6"});
    ASSERT_EQ(drives.size(), 8u);
    EXPECT_TRUE(drives[2].physical);
    EXPECT_EQ(drives[0].product, "DVD-ROM DRIVE   ");
    EXPECT_EQ(drives[3].product, "one");
    EXPECT_EQ(drives[4].product, "/");
    EXPECT_EQ(drives[7].product, "4");
    EXPECT_EQ(drives[7].hostAdapter, kVirtualHostAdapter + 4);
}

TEST(AkripDriveList, EveryDriveHasAnAddressOfItsOwn) {
    PhysicalDriveInfo usb;  // SCSI host 300: no address in a byte, never 300 cut to 44
    EXPECT_FALSE(ParseScsiAddress("300:0:0:0", usb));
    EXPECT_TRUE(ParseScsiAddress("2:0:1:0", usb));
    std::vector<PhysicalDriveInfo> physical(4);
    physical[0] = {"/dev/sr0", 200, 0, 0, "A", true};  // a real host 200
    physical[1] = {"/dev/sr1", 200, 0, 0, "B", true};  // the same address again
    physical[2] = {"/dev/sr2", 0, 0, 0, "C", false};   // no SCSI parent
    physical[3] = {"/dev/sr3", 0, 0, 0, "D", false};
    const auto drives = BuildDriveList(physical, {"/v/one", "/v/two"});
    std::set<std::tuple<int, int, int>> addresses;
    for (const DriveEntry& drive : drives) addresses.insert({drive.hostAdapter, drive.target, drive.lun});
    EXPECT_EQ(addresses.size(), drives.size());
    EXPECT_EQ(drives[0].hostAdapter, 200);
}

TEST(AkripPhysical, ReadableRangesStopBeforeData) {
    DiscToc enhanced;  // audio, then a data track in session 2
    enhanced.tracks = {{0, 0, 1}, {225, 0, 1}, {12803, 4, 2}};
    enhanced.leadOut = 12988;
    const auto ranges = ReadableAudioRanges(enhanced);
    ASSERT_EQ(ranges.size(), 2u);
    EXPECT_EQ(ranges[1].begin, 225);
    EXPECT_EQ(ranges[1].end, 1403);

    DiscToc mixed;  // data first, then audio to the lead-out
    mixed.tracks = {{0, 4, 1}, {335, 0, 1}};
    mixed.leadOut = 1000;
    const auto mixedRanges = ReadableAudioRanges(mixed);
    ASSERT_EQ(mixedRanges.size(), 1u);
    EXPECT_EQ(mixedRanges[0].begin, 335);
    EXPECT_EQ(mixedRanges[0].end, 1000);

    // Audio, then a data track in the same session: the audio ends where the
    // data track's pregap begins, two seconds before it at the latest.
    DiscToc mixedLast;
    mixedLast.tracks = {{0, 0, 1}, {15000, 4, 1}};
    mixedLast.leadOut = 20000;
    EXPECT_EQ(ReadableAudioRanges(mixedLast).at(0).end, 14850);
    mixedLast.tracks[1].index0 = 14700;
    EXPECT_EQ(ReadableAudioRanges(mixedLast).at(0).end, 14700);
}

TEST(AkripPhysical, EnumerationWithoutDrivesIsHarmless) {
    // Whatever this machine has, every drive found names a device node.
    for (const PhysicalDriveInfo& drive : FindPhysicalDrives()) {
        EXPECT_TRUE(drive.device.starts_with("/dev/"));
        EXPECT_EQ(drive.product.size(), 16u);
    }
}

}  // namespace
}  // namespace akrip
