// Writes .flac files through the real cadrix_flac.so, loaded as the host
// loads it, and reads them back with libFLAC's decoder (samples, MD5
// signature, tags, seek table) and `flac -t`: whole tracks at the levels'
// ends, tracks cut short by an abort, and a disk that fills up mid-track.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "flac_test_decoder.h"
#include "plugin_module.h"
#include "wma_test_audio.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kBlockBytes = 63504;  // one read of 27 CD frames
constexpr size_t kBlockFrames = kBlockBytes / 4;

plugin_test::PluginModule& TheModule() {
    static plugin_test::PluginModule plugin(CADRIX_FLAC_MODULE);
    return plugin;
}

bool FlacTestPasses(const fs::path& file) {
    const std::string command = std::string(CADRIX_FLAC_TOOL) + " -t -s '" + file.string() + "'";
    return std::system(command.c_str()) == 0;
}

std::string Comment(const DecodedFlac& d, const std::string& name) {
    const auto found = d.comments.find(name);
    return found == d.comments.end() ? "<none>" : found->second;
}

std::vector<uint8_t> Prefix(const std::vector<uint8_t>& pcm, size_t bytes) {
    return {pcm.begin(), pcm.begin() + static_cast<std::ptrdiff_t>(bytes)};
}

}  // namespace

TEST(FlacRoundTrip, BitExactSamplesSignatureTagsAndSeekTable) {
    plugin_test::PluginModule& m = TheModule();
    ASSERT_NE(m.setExtras, nullptr);
    plugin_test::TempDir dir;
    // 25 s: a seek point at 0, 10 and 20 s; reads of 27 CD frames and a short last one.
    const std::vector<uint8_t> pcm = MakeMusicPcm(25 * 44100 + 7 * 588, 12);
    const std::string artist = "Bj\xF6rk \x93Live\x94";  // Windows-1252
    const OutputTrackInfo info{7, "Caf\xC3\xA9", artist.c_str(), "Album", "Rock", "1999", "Europe", ""};
    const OutputTrackExtras extras{sizeof(OutputTrackExtras), 12, 2, 1, "Various"};
    for (const int32_t level : {0, 8}) {
        const fs::path base = dir.path() / ("level" + std::to_string(level));
        m.setExtras(&extras);
        ASSERT_TRUE(m.WriteTrack(base, level, &info, pcm, kBlockBytes));
        const DecodedFlac d = DecodeFlac(base.string() + ".flac");
        ASSERT_TRUE(d.ok) << level;
        EXPECT_TRUE(d.md5Set);
        EXPECT_EQ(d.totalSamples, pcm.size() / 4);
        EXPECT_TRUE(d.pcm == pcm) << level;
        EXPECT_EQ(d.seekSamples.size(), 3u);
        for (size_t i = 0; i < d.seekSamples.size(); ++i) {
            EXPECT_LE(d.seekSamples[i], i * 441000);
            EXPECT_GT(d.seekSamples[i] + 4608, i * 441000);  // within the frame that holds the 10-s mark
        }
        EXPECT_GE(d.paddingBytes, 8192u);
        const std::multimap<std::string, std::string> expected{
            {"TITLE", "Caf\xC3\xA9"}, {"ARTIST", "Bj\xC3\xB6rk \xE2\x80\x9CLive\xE2\x80\x9D"}, {"ALBUM", "Album"},
            {"ALBUMARTIST", "Various"}, {"GENRE", "Rock"}, {"DATE", "1999"}, {"TRACKNUMBER", "7"},
            {"TRACKTOTAL", "12"}, {"DISCNUMBER", "2"}};
        EXPECT_EQ(d.comments, expected);
        EXPECT_TRUE(FlacTestPasses(base.string() + ".flac"));
    }
    EXPECT_LT(fs::file_size(dir.path() / "level8.flac"), fs::file_size(dir.path() / "level0.flac"));

    // Extras apply to one track; a level outside 0..8 is the nearest end.
    ASSERT_TRUE(m.WriteTrack(dir.path() / "next", 99, &info, pcm, kBlockBytes));
    ASSERT_TRUE(m.WriteTrack(dir.path() / "eight", 8, &info, pcm, kBlockBytes));
    const DecodedFlac next = DecodeFlac((dir.path() / "next.flac").string());
    EXPECT_EQ(Comment(next, "TRACKTOTAL"), "<none>");
    EXPECT_EQ(Comment(next, "ALBUMARTIST"), "<none>");
    EXPECT_EQ(fs::file_size(dir.path() / "next.flac"), fs::file_size(dir.path() / "eight.flac"));
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
    const struct {
        const char* name;
        size_t bytes;
    } expected[] = {{"aborted.flac", 3 * kBlockBytes}, {"short.flac", 5 * 2352}, {"empty.flac", 0}};
    for (const auto& e : expected) {
        const DecodedFlac d = DecodeFlac((dir.path() / e.name).string());
        ASSERT_TRUE(d.ok) << e.name;
        EXPECT_TRUE(d.comments.empty()) << e.name;
        EXPECT_EQ(d.totalSamples, e.bytes / 4) << e.name;
        EXPECT_TRUE(d.pcm == Prefix(pcm, e.bytes)) << e.name;
        EXPECT_TRUE(FlacTestPasses(dir.path() / e.name)) << e.name;
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
    // A file size limit stands in for a full disk, in a child so that the
    // limit stays there. Exit 0: a block was refused, and so was every later one.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{150000, 150000};
        setrlimit(RLIMIT_FSIZE, &limit);
        if (m.open(base.c_str(), 5, nullptr) != 1) _exit(1);
        int refused = 0;
        for (size_t b = 0; b < 10; ++b) {
            const int32_t result = m.write(pcm.data() + b * kBlockBytes, kBlockBytes);
            if (result == 0) ++refused;
            if (result == 1 && refused > 0) _exit(3);
        }
        const bool saysWhy = std::string(m.errorText()).find("File too large") != std::string::npos;
        m.close();
        _exit(refused > 0 && refused < 10 && saysWhy ? 0 : 2);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // Whole frames up to the failure: exact samples, the signature of those.
    const DecodedFlac d = DecodeFlac(base.string() + ".flac");
    ASSERT_TRUE(d.ok);
    EXPECT_TRUE(d.md5Set);
    EXPECT_GT(d.pcm.size(), 0u);
    EXPECT_LT(d.pcm.size(), pcm.size());
    EXPECT_EQ(d.totalSamples, d.pcm.size() / 4);
    EXPECT_TRUE(d.pcm == Prefix(pcm, d.pcm.size()));
    EXPECT_TRUE(FlacTestPasses(base.string() + ".flac"));
}
