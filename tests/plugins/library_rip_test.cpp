// What a music library reads from a rip, end to end: cadrix-rip over the real
// akrip.so and the plug-ins on the generated demo disc, each file read back by
// mutagen (tag_dump.py) and measured again by FFmpeg's ebur128 filter.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "command_run.h"
#include "demo_disc.h"
#include "disc_generator.h"

namespace fs = std::filesystem;
using plugin_test::CommandOutput;
using plugin_test::ShellQuoted;

namespace {

using Tags = std::multimap<std::string, std::string>;

Tags ReadTags(const fs::path& file) {
    Tags tags;
    std::istringstream lines(CommandOutput(ShellQuoted(CADRIX_TEST_PYTHON) + " " + ShellQuoted(CADRIX_TAG_DUMP) + " " +
                                           ShellQuoted(file.string())));
    for (std::string line; std::getline(lines, line);) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos) tags.emplace(line.substr(0, equals), line.substr(equals + 1));
    }
    return tags;
}

std::string One(const Tags& tags, const std::string& name) {
    const auto [first, last] = tags.equal_range(name);
    return first != last && std::next(first) == last ? first->second : std::string();
}

// FFmpeg's integrated loudness (LUFS) and sample peak (dBFS) of `input`
// (one file, or "concat:a|b|..."), as its summary prints them.
std::pair<double, double> FfmpegLoudness(const std::string& input) {
    const std::string summary = CommandOutput("ffmpeg -hide_banner -nostats -i " + ShellQuoted(input) +
                                              " -af ebur128=peak=sample -f null - 2>&1");
    const size_t at = summary.rfind("Integrated loudness:");
    const size_t i = summary.find("I:", at);
    const size_t peak = summary.find("Peak:", summary.rfind("Sample peak:"));
    if (at == std::string::npos || i == std::string::npos || peak == std::string::npos) return {NAN, NAN};
    return {std::stod(summary.substr(i + 2)), std::stod(summary.substr(peak + 5))};
}

class LibraryRip : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/cadrix-library-rip-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        tmp_ = pattern;
        ASSERT_TRUE(cadrix::discgen::WriteDemo(tmp_ / "demo"));
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(tmp_, ignored);
    }

    // Rips with `arguments`; the files of the disc folder, by extension.
    std::vector<fs::path> Rip(const std::string& format, const std::string& arguments) {
        const fs::path out = tmp_ / ("out-" + format);
        EXPECT_TRUE(plugin_test::RunCadrixRip(CADRIX_RIP_PATH, tmp_ / "demo", CADRIX_MODULE_DIR,
                                              "--format " + format + " " + arguments + " --output " +
                                                  ShellQuoted(out.string()),
                                              tmp_ / "rip.log"))
            << CommandOutput("cat " + ShellQuoted((tmp_ / "rip.log").string()));
        std::vector<fs::path> files;
        const std::string extension = format.starts_with("wma") ? ".wma" : "." + format;
        if (!fs::exists(out)) return files;
        for (const auto& entry : fs::recursive_directory_iterator(out)) {
            if (entry.path().extension() == extension) files.push_back(entry.path());
        }
        std::sort(files.begin(), files.end());
        return files;
    }

    fs::path tmp_;
};

double Gain(const std::string& text) { return text.empty() ? NAN : std::stod(text); }

// Track values per file and album values over the whole disc agree with
// FFmpeg's R128 measurement within 0.1 dB; Ogg and WMA files of the same disc
// carry the same values as the FLAC files, and still decode.
TEST_F(LibraryRip, ReplayGainAgreesWithFfmpegInEveryFormat) {
    const std::vector<fs::path> flac = Rip("flac", "--no-lookup");
    ASSERT_EQ(flac.size(), 5u);
    std::string concat = "concat:";
    std::vector<Tags> expected;
    for (const fs::path& file : flac) {
        const Tags tags = ReadTags(file);
        const auto [loudness, peakDb] = FfmpegLoudness(file.string());
        EXPECT_NEAR(-18.0 - Gain(One(tags, "REPLAYGAIN_TRACK_GAIN")), loudness, 0.1) << file;
        EXPECT_NEAR(20 * std::log10(Gain(One(tags, "REPLAYGAIN_TRACK_PEAK"))), peakDb, 0.1) << file;
        expected.push_back(tags);
        concat += (concat.size() > 7 ? "|" : "") + file.string();
    }
    const auto [albumLoudness, albumPeakDb] = FfmpegLoudness(concat);
    for (const Tags& tags : expected) {
        EXPECT_NEAR(-18.0 - Gain(One(tags, "REPLAYGAIN_ALBUM_GAIN")), albumLoudness, 0.1);
        EXPECT_NEAR(20 * std::log10(Gain(One(tags, "REPLAYGAIN_ALBUM_PEAK"))), albumPeakDb, 0.1);
    }
    bool ok = false;
    CommandOutput(ShellQuoted(CADRIX_FLAC_TOOL) + " -t -s " + ShellQuoted(flac[2].string()), &ok);
    EXPECT_TRUE(ok);

    for (const std::string format : {"ogg", "wma"}) {
        const std::vector<fs::path> files = Rip(format, "--no-lookup");
        ASSERT_EQ(files.size(), 5u) << format;
        for (size_t i = 0; i < files.size(); ++i) {
            const Tags tags = ReadTags(files[i]);
            for (const char* name : {"REPLAYGAIN_TRACK_GAIN", "REPLAYGAIN_TRACK_PEAK", "REPLAYGAIN_ALBUM_GAIN",
                                     "REPLAYGAIN_ALBUM_PEAK", "TITLE"}) {
                EXPECT_EQ(One(tags, name), One(expected[i], name)) << files[i] << " " << name;
            }
            // The retagged file decodes to the whole track.
            const std::string decoded = CommandOutput("ffmpeg -v error -i " + ShellQuoted(files[i].string()) +
                                                      " -f s16le - 2>&1 >/dev/null");
            EXPECT_EQ(decoded, "") << files[i];
        }
    }
}

// A run over part of the disc gives track values only.
TEST_F(LibraryRip, PartOfTheDiscGetsNoAlbumGain) {
    const std::vector<fs::path> files = Rip("flac", "--no-lookup --tracks 2-3");
    ASSERT_EQ(files.size(), 2u);
    for (const fs::path& file : files) {
        const Tags tags = ReadTags(file);
        EXPECT_FALSE(One(tags, "REPLAYGAIN_TRACK_GAIN").empty()) << file;
        EXPECT_EQ(tags.count("REPLAYGAIN_ALBUM_GAIN"), 0u) << file;
    }
}

}  // namespace
