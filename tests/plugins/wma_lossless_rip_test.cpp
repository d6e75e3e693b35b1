// cadrix-rip --format wma-lossless over the real akrip.so and cadrix_wma.so
// on the generated demo disc: the `ffmpeg` command line decodes each file,
// without a warning, to the bytes of the WAVE rip of the same track.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "command_run.h"
#include "demo_disc.h"
#include "plugin_module.h"

namespace fs = std::filesystem;

namespace {

using plugin_test::ShellQuoted;

std::vector<uint8_t> ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

fs::path OnlyFile(const fs::path& folder, const std::string& extension) {
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.path().extension() == extension) return e.path();
    return {};
}

// The samples of a WAVE file: what follows the "data" chunk header.
std::vector<uint8_t> WaveData(const std::vector<uint8_t>& wave) {
    for (size_t at = 12; at + 8 <= wave.size();) {
        const size_t size = wave[at + 4] | (wave[at + 5] << 8) | (wave[at + 6] << 16) | (size_t(wave[at + 7]) << 24);
        if (std::string(wave.begin() + at, wave.begin() + at + 4) == "data")
            return {wave.begin() + at + 8, wave.begin() + at + 8 + size};
        at += 8 + size + (size & 1);
    }
    return {};
}

}  // namespace

TEST(WmaLosslessRip, FfmpegDecodesEachTrackToTheWaveRip) {
    char pattern[] = "/tmp/cadrix-wmal-rip-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path tmp = pattern;
    const std::string root = (tmp / "demo").string();
    ASSERT_TRUE(cadrix::discgen::WriteDemo(root));
    const std::string env = "env CADRIX_VIRTUAL_DRIVES=" + ShellQuoted(root + "/drive") +
                            " XDG_CONFIG_HOME=" + ShellQuoted(root + "/config") + " HOME=" + ShellQuoted(tmp.string()) +
                            " CADRIX_MODULE_DIR=" + ShellQuoted(CADRIX_WMA_MODULE_DIR) + " ";
    for (const int track : {1, 3}) {
        SCOPED_TRACE(track);
        const fs::path wav = tmp / ("wav" + std::to_string(track)), wma = tmp / ("wma" + std::to_string(track));
        for (const auto& [format, out] : {std::pair{"pcm", wav}, {"wma-lossless", wma}}) {
            const std::string command = env + ShellQuoted(CADRIX_RIP_PATH) + " --format " + format + " --tracks " +
                                        std::to_string(track) + " --output " + ShellQuoted(out.string()) + " > " +
                                        ShellQuoted((tmp / "rip.log").string()) + " 2>&1";
            ASSERT_EQ(std::system(command.c_str()), 0) << command;
        }
        const fs::path decoded = tmp / "decoded.raw", messages = tmp / "ffmpeg.log";
        const std::string ffmpeg = "ffmpeg -nostdin -v warning -y -i " + ShellQuoted(OnlyFile(wma, ".wma").string()) +
                                   " -f s16le " + ShellQuoted(decoded.string()) + " 2> " +
                                   ShellQuoted(messages.string());
        ASSERT_EQ(std::system(ffmpeg.c_str()), 0) << ffmpeg;
        const std::vector<uint8_t> pcm = WaveData(ReadAll(OnlyFile(wav, ".wav")));
        EXPECT_GT(pcm.size(), 0u);
        EXPECT_TRUE(ReadAll(decoded) == pcm);
        const std::vector<uint8_t> log = ReadAll(messages);
        EXPECT_TRUE(log.empty()) << std::string(log.begin(), log.end());
    }
    std::error_code ignored;
    fs::remove_all(tmp, ignored);
}
