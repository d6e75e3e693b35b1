// Writes .flac files through the real cadrix_flac.so, loaded as the host
// loads it, and reads them back with the flac tools over libFLAC's decoder:
// `flac -t` (structure, CRCs, MD5 signature), `flac -d` (every sample) and
// metaflac (total samples, tags, seek table). Whole tracks at both ends of
// the levels, tracks cut short by an abort, a disk that fills up.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "command_run.h"
#include "plugin_module.h"
#include "wma_test_audio.h"

namespace fs = std::filesystem;
using plugin_test::CommandOutput;
using plugin_test::ShellQuoted;

namespace {

constexpr uint32_t kBlockBytes = 63504;  // one read of 27 CD frames
constexpr size_t kBlockFrames = kBlockBytes / 4;
const std::string kRawFormat = " --force-raw-format --endian=little --sign=signed";

plugin_test::PluginModule& TheModule() {
    static plugin_test::PluginModule plugin(CADRIX_FLAC_MODULE);
    return plugin;
}

std::string Tool(const char* tool, const std::string& arguments, const fs::path& file, bool* ok = nullptr) {
    return CommandOutput(ShellQuoted(tool) + " " + arguments + " " + ShellQuoted(file.string()) + " 2>/dev/null", ok);
}

// What the flac tools make of a file.
struct FlacFile {
    bool valid = false;  // `flac -t` passes
    std::vector<uint8_t> pcm;
    std::string samples, md5, tags, seekTable;
};

FlacFile Read(const fs::path& file) {
    FlacFile f;
    Tool(CADRIX_FLAC_TOOL, "-t -s", file, &f.valid);
    const std::string raw = Tool(CADRIX_FLAC_TOOL, "-d -s -c" + kRawFormat, file);
    f.pcm.assign(raw.begin(), raw.end());
    f.samples = Tool(CADRIX_METAFLAC_TOOL, "--show-total-samples", file);
    f.md5 = Tool(CADRIX_METAFLAC_TOOL, "--show-md5sum", file);
    f.tags = Tool(CADRIX_METAFLAC_TOOL, "--export-tags-to=-", file);
    const std::string table = Tool(CADRIX_METAFLAC_TOOL, "--list --block-type=SEEKTABLE", file);
    f.seekTable = table.substr(std::min(table.find("seek points"), table.size()));
    return f;
}

std::vector<uint8_t> Prefix(const std::vector<uint8_t>& pcm, size_t bytes) { return {pcm.data(), pcm.data() + bytes}; }

}  // namespace

TEST(FlacRoundTrip, BitExactSamplesSignatureTagsAndTheSeekTableOfFlac) {
    plugin_test::PluginModule& m = TheModule();
    ASSERT_NE(m.setExtras, nullptr);
    plugin_test::TempDir dir;
    // 25 s in reads of 27 CD frames and a short last one.
    const std::vector<uint8_t> pcm = MakeMusicPcm(25 * 44100 + 7 * 588, 12);
    std::ofstream(dir.path() / "pcm.raw", std::ios::binary)
        .write(reinterpret_cast<const char*>(pcm.data()), static_cast<std::streamsize>(pcm.size()));
    const OutputTrackInfo info{7, "Caf\xC3\xA9", "Bj\xF6rk \x93Live\x94", "Album", "Rock", "1999", "Europe", ""};
    OutputTrackExtras extras{};
    extras.size = sizeof(OutputTrackExtras);
    extras.trackTotal = 12;
    extras.discNumber = 2;
    extras.compilation = 1;
    extras.albumArtist = "Various";
    extras.isrc = "DEA123400001";
    extras.catalog = "0724384960629";
    extras.preEmphasis = 1;
    for (const int32_t level : {0, 8}) {
        const fs::path file = dir.path() / ("level" + std::to_string(level) + ".flac");
        m.setExtras(&extras);
        ASSERT_TRUE(m.WriteTrack(file.parent_path() / file.stem(), level, &info, pcm, kBlockBytes));
        const FlacFile f = Read(file);
        EXPECT_TRUE(f.valid && f.pcm == pcm) << level;
        EXPECT_EQ(f.samples, std::to_string(pcm.size() / 4) + "\n");
        EXPECT_NE(f.md5, "00000000000000000000000000000000\n");
        EXPECT_EQ(f.tags,
                  "TITLE=Caf\xC3\xA9\nARTIST=Bj\xC3\xB6rk \xE2\x80\x9CLive\xE2\x80\x9D\nALBUM=Album\n"
                  "ALBUMARTIST=Various\nGENRE=Rock\nDATE=1999\nTRACKNUMBER=7\nTRACKTOTAL=12\nDISCNUMBER=2\n"
                  "ISRC=DEA123400001\nBARCODE=0724384960629\nPRE_EMPHASIS=yes\n");
        // flac at the same level with its default seek table ("10s") on the same PCM.
        const fs::path reference = dir.path() / ("flac" + std::to_string(level) + ".flac");
        Tool(CADRIX_FLAC_TOOL,
             "-s --channels=2 --bps=16 --sample-rate=44100 -" + std::to_string(level) + kRawFormat + " -o " +
                 ShellQuoted(reference.string()),
             dir.path() / "pcm.raw");
        EXPECT_EQ(f.seekTable, Read(reference).seekTable) << level;
    }
    EXPECT_LT(fs::file_size(dir.path() / "level8.flac"), fs::file_size(dir.path() / "level0.flac"));

    // Extras apply to one track; a level outside 0..8 is the nearest end.
    ASSERT_TRUE(m.WriteTrack(dir.path() / "high", 99, &info, pcm, kBlockBytes));
    ASSERT_TRUE(m.WriteTrack(dir.path() / "eight", 8, &info, pcm, kBlockBytes));
    EXPECT_EQ(Read(dir.path() / "high.flac").tags.find("TRACKTOTAL"), std::string::npos);
    EXPECT_EQ(fs::file_size(dir.path() / "high.flac"), fs::file_size(dir.path() / "eight.flac"));
}

TEST(FlacRoundTrip, AbortedShortAndEmptyTracksAreCompleteFiles) {
    plugin_test::PluginModule& m = TheModule();
    plugin_test::TempDir dir;
    const std::vector<uint8_t> pcm = MakeMusicPcm(10 * kBlockFrames, 4);
    // Aborted after three reads; a malformed block in between is refused.
    ASSERT_EQ(m.open((dir.path() / "aborted").c_str(), 5, nullptr), 1);
    for (size_t b = 0; b < 3; ++b) EXPECT_EQ(m.write(pcm.data() + b * kBlockBytes, kBlockBytes), 1);
    EXPECT_EQ(m.write(pcm.data(), 6), 0);
    m.close();
    ASSERT_TRUE(m.WriteTrack(dir.path() / "short", 5, nullptr, Prefix(pcm, 5 * 2352), kBlockBytes));
    ASSERT_TRUE(m.WriteTrack(dir.path() / "empty", 5, nullptr, {}, kBlockBytes));
    for (const auto& [name, bytes] : {std::pair<const char*, size_t>{"aborted.flac", 3 * kBlockBytes},
                                      {"short.flac", 5 * 2352},
                                      {"empty.flac", 0}}) {
        const FlacFile f = Read(dir.path() / name);
        EXPECT_TRUE(f.valid && f.tags.empty() && f.pcm == Prefix(pcm, bytes)) << name;
        EXPECT_EQ(f.samples, std::to_string(bytes / 4) + "\n") << name;
    }

    // A failed open leaves nothing and says why.
    EXPECT_EQ(m.open((dir.path() / "missing" / "01").c_str(), 5, nullptr), 0);
    EXPECT_NE(std::string(m.errorText()).find("cannot create"), std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 3);
}

TEST(FlacRoundTrip, AFullDiskLeavesAValidShorterFile) {
    plugin_test::PluginModule& m = TheModule();
    plugin_test::TempDir dir;
    const std::vector<uint8_t> pcm = MakeMusicPcm(10 * kBlockFrames, 6);
    const fs::path base = dir.path() / "full";
    EXPECT_EQ(m.WriteTrackToFullDisk(base, 5, pcm, kBlockBytes, 150000), 0);
    // Whole frames up to the failure, with the total and signature of those.
    const FlacFile f = Read(base.string() + ".flac");
    EXPECT_TRUE(f.valid && !f.pcm.empty() && f.pcm.size() < pcm.size() && f.pcm == Prefix(pcm, f.pcm.size()));
    EXPECT_EQ(f.samples, std::to_string(f.pcm.size() / 4) + "\n");
    EXPECT_NE(f.md5, "00000000000000000000000000000000\n");
}
