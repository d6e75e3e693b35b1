// What a music library reads from a rip, end to end: cadrix-rip over the real
// akrip.so and the plug-ins on the generated demo disc, each file read back by
// mutagen (tag_dump.py) and measured again by FFmpeg's ebur128 filter.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "command_run.h"
#include "demo_disc.h"
#include "disc_generator.h"
#include "lookup_server.h"

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
        EXPECT_TRUE(
            plugin_test::RunCadrixRip(CADRIX_RIP_PATH, tmp_ / "demo", CADRIX_MODULE_DIR,
                                      "--format " + format + " " + arguments + " --output " + ShellQuoted(out.string()),
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

std::string Sha256(const fs::path& path) {
    const std::string line = CommandOutput("sha256sum " + ShellQuoted(path.string()));
    return line.substr(0, line.find(' '));
}

constexpr const char* kRelease = "5f1c3a2e-6d0b-4b7e-9a51-2c6f0d6e7a01";

// A disc only MusicBrainz knows (the stand-in's "one" release, disc 2 of 2),
// with the Cover Art Archive's stand-in serving its index and a 500-pixel
// front of the size the archive's are.
class KnownDiscRip : public LibraryRip {
protected:
    void SetUp() override {
        LibraryRip::SetUp();
        disc_.tracks = {{.frames = 900}, {.frames = 700}, {.frames = 600}};
        ASSERT_TRUE(cadrix::discgen::WriteDiscImage(disc_, tmp_ / "demo" / "drive", "demo"));
        fs::create_directories(tmp_ / "covers");
        std::ofstream(tmp_ / "covers" / (std::string(kRelease) + ".json"))
            << R"({"images":[{"front":false,"types":["Back"],"image":"@SERVER@/covers/back.jpg",)"
               R"("thumbnails":{"500":"@SERVER@/covers/back-500.jpg"}},{"front":true,"types":["Front"],)"
               R"("image":"@SERVER@/covers/full.jpg","thumbnails":{"250":"@SERVER@/covers/front-250.jpg",)"
               R"("500":"@SERVER@/covers/front-500.jpg","large":"@SERVER@/covers/front-large.jpg"}}],)"
               R"("release":"https://musicbrainz.org/release/5f1c3a2e-6d0b-4b7e-9a51-2c6f0d6e7a01"})";
        front_ = tmp_ / "covers" / "front-500.jpg";
        bool ok = false;
        CommandOutput("convert -size 500x500 plasma:fractal -quality 85 " + ShellQuoted(front_.string()), &ok);
        ASSERT_TRUE(ok);
        server_ = std::make_unique<cadrix::test::LookupServer>("one", (tmp_ / "requests.log").string(),
                                                               (tmp_ / "covers").string());
    }

    std::vector<fs::path> RipKnown(const std::string& format, const std::string& output) {
        // cadrix-rip inherits these.
        setenv("XDG_DATA_HOME", (tmp_ / "data").c_str(), 1);
        for (const char* service : {"CADRIX_MUSICBRAINZ_SERVER", "CADRIX_GNUDB_SERVER", "CADRIX_COVERART_SERVER"}) {
            setenv(service, server_->Url().c_str(), 1);
        }
        const fs::path out = tmp_ / output;
        EXPECT_TRUE(plugin_test::RunCadrixRip(CADRIX_RIP_PATH, tmp_ / "demo", CADRIX_MODULE_DIR,
                                              "--format " + format + " --output " + ShellQuoted(out.string()),
                                              tmp_ / "rip.log"))
            << CommandOutput("cat " + ShellQuoted((tmp_ / "rip.log").string()));
        std::vector<fs::path> files;
        for (const auto& entry : fs::recursive_directory_iterator(out)) {
            const std::string extension = entry.path().extension().string();
            if (extension == ".flac" || extension == ".ogg" || extension == ".wma") files.push_back(entry.path());
        }
        std::sort(files.begin(), files.end());
        return files;
    }

    // The picture every reader finds in `file` is byte for byte `expected`.
    // FFmpeg reads a WMA picture only from the extended content description,
    // whose 16-bit lengths hold at most 64 KiB; a larger one is in the
    // metadata library, which mutagen and TagLib read.
    void ExpectPicture(const fs::path& file, const fs::path& expected, const std::string& mime,
                       const std::string& size) {
        const bool ffmpegSees = file.extension() != ".wma" || fs::file_size(expected) < 65000;
        const std::string sha = Sha256(expected);
        const Tags tags = ReadTags(file);
        const std::string dimensions = file.extension() == ".wma" ? "0x0" : size;
        EXPECT_EQ(One(tags, "PICTURE"), "3 " + mime + " " + dimensions + " " + sha) << file;
        const fs::path extracted = tmp_ / "picture.out";
        bool ok = false;
        CommandOutput("ffmpeg -v error -y -i " + ShellQuoted(file.string()) + " -map 0:v -c copy -f data " +
                          ShellQuoted(extracted.string()),
                      &ok);
        if (ffmpegSees) {
            EXPECT_TRUE(ok && Sha256(extracted) == sha) << "FFmpeg, " << file;
        }
#ifdef CADRIX_TAGLIB_PICTURE
        fs::remove(extracted);
        const std::string taglibMime = CommandOutput(ShellQuoted(CADRIX_TAGLIB_PICTURE) + " " +
                                                     ShellQuoted(file.string()) + " " +
                                                     ShellQuoted(extracted.string()));
        EXPECT_EQ(taglibMime, mime + "\n") << "TagLib, " << file;
        EXPECT_EQ(Sha256(extracted), sha) << "TagLib, " << file;
#endif
    }

    cadrix::discgen::DiscDescription disc_;
    fs::path front_;
    std::unique_ptr<cadrix::test::LookupServer> server_;
};

// The release's identifiers and barcode, the disc id libdiscid computes, the
// set position, and the archive's front cover byte for byte in every format.
TEST_F(KnownDiscRip, FilesCarryTheReleaseIdentifiersAndTheArchivesFrontCover) {
    const cadrix::discgen::ExpectedToc toc = cadrix::discgen::ExpectedTocOf(disc_);
    std::string offsets;
    for (uint32_t start : toc.trackStarts) offsets += "," + std::to_string(start + 150);
    const std::string discId = CommandOutput(
        ShellQuoted(CADRIX_TEST_PYTHON) + " -c 'import libdiscid; print(libdiscid.put(1, 3, " +
        std::to_string(toc.leadout + 150) + ", [" + offsets.substr(1) + "]).id, end=\"\")'");
    ASSERT_EQ(discId.size(), 28u) << discId;

    for (const std::string format : {"flac", "ogg", "wma"}) {
        const std::vector<fs::path> files = RipKnown(format, "out-" + format);
        ASSERT_EQ(files.size(), 3u) << format;
        const fs::path folder = files[0].parent_path();
        EXPECT_EQ(Sha256(folder / "cover.jpg"), Sha256(front_));
        const Tags first = ReadTags(files[0]);
        const bool wma = format == "wma";
        const auto name = [&](const char* vorbis, const char* asf) { return std::string(wma ? asf : vorbis); };
        EXPECT_EQ(One(first, name("MUSICBRAINZ_ALBUMID", "MUSICBRAINZ/ALBUM ID")), kRelease) << format;
        EXPECT_EQ(One(first, name("MUSICBRAINZ_RELEASEGROUPID", "MUSICBRAINZ/RELEASE GROUP ID")),
                  "7a2b3c4d-0000-4000-8000-000000000003");
        EXPECT_EQ(first.count(name("MUSICBRAINZ_ALBUMARTISTID", "MUSICBRAINZ/ALBUM ARTIST ID")), 2u) << format;
        EXPECT_EQ(One(first, name("MUSICBRAINZ_TRACKID", "MUSICBRAINZ/TRACK ID")),
                  "c0000000-0000-4000-8000-000000000002");
        EXPECT_EQ(One(first, name("MUSICBRAINZ_RELEASETRACKID", "MUSICBRAINZ/RELEASE TRACK ID")),
                  "b0000000-0000-4000-8000-000000000002");
        EXPECT_EQ(One(first, name("MUSICBRAINZ_ARTISTID", "MUSICBRAINZ/ARTIST ID")),
                  "0c1d2e3f-0000-4000-8000-000000000001");
        EXPECT_EQ(One(first, name("MUSICBRAINZ_DISCID", "MUSICBRAINZ/DISC ID")), discId);
        EXPECT_EQ(One(first, name("BARCODE", "WM/BARCODE")), "5012345678900");
        if (wma) {
            EXPECT_EQ(One(first, "WM/ALBUMARTIST"), "The Tide & Friends");
            EXPECT_EQ(One(first, "WM/PARTOFSET"), "2");
            EXPECT_EQ(One(first, "TOTALTRACKS"), "3");
        }
        for (const fs::path& file : files) ExpectPicture(file, front_, "image/jpeg", "500x500");
    }
    // One lookup, one index, the 500-pixel front and nothing else of the archive.
    const std::string requests = server_->Log();
    EXPECT_NE(requests.find("/release/" + std::string(kRelease) + "\t"), std::string::npos) << requests;
    EXPECT_NE(requests.find("/covers/front-500.jpg\t"), std::string::npos) << requests;
    EXPECT_EQ(requests.find("/covers/full.jpg"), std::string::npos) << requests;
}

// A cover.png of the user's in the disc folder is embedded instead of the
// download, and no cover.jpg joins it; a picture too large for a WMA header
// attribute still reaches the file.
TEST_F(KnownDiscRip, TheUsersOwnCoverWins) {
    RipKnown("flac", "first");  // looks the disc up and keeps the archive's cover
    const fs::path folder = tmp_ / "second" / "The Tide & Friends - Live at the Lighthouse (2)";
    fs::create_directories(folder);
    bool ok = false;
    CommandOutput("convert -size 320x240 xc: +noise Random " + ShellQuoted((folder / "cover.png").string()), &ok);
    ASSERT_TRUE(ok);
    ASSERT_GT(fs::file_size(folder / "cover.png"), 65536u);
    const fs::path own = tmp_ / "own.png";
    fs::copy_file(folder / "cover.png", own);
    for (const std::string format : {"ogg", "wma"}) {
        std::vector<fs::path> files = RipKnown(format, "second");
        std::erase_if(files, [&](const fs::path& file) { return file.extension() != "." + format; });
        ASSERT_EQ(files.size(), 3u);
        ExpectPicture(files.front(), own, "image/png", "320x240");
    }
    EXPECT_FALSE(fs::exists(folder / "cover.jpg"));
}

}  // namespace
