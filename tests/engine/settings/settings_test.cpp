// The settings file: what is stored, read back, refused and kept of the
// suite's other values.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "file_bytes.h"
#include "output/output_format.h"
#include "settings/settings.h"
#include "temp_dir.h"

namespace cadrix {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

uint32_t Word(uint32_t ogg, uint32_t wma, uint32_t vbr, uint32_t format) {
    return ogg | wma << 8 | vbr << 16 | format << 24;
}

std::string FormatLine(uint32_t word) { return "CadrixFormat=" + std::to_string(word) + "\n"; }

TEST(Settings, DefaultsWhenNothingIsStored) {
    TempDir dir;
    const CadrixSettings s = LoadSettingsFile(dir / "missing.conf", "/home/u/Documents");
    EXPECT_EQ(s.format, FORMAT_PCM);
    EXPECT_EQ(s.Quality(FORMAT_OGG), 50);
    EXPECT_EQ(s.Quality(FORMAT_WMA), 5);
    EXPECT_EQ(s.Quality(FORMAT_WMA_VBR), 3);
    EXPECT_EQ(s.outputDir, "/home/u/Documents/My Music");
    // The documents folder may already end in a separator; none known: empty.
    EXPECT_EQ(LoadSettingsFile(dir / "missing.conf", "/").outputDir, "/My Music");
    EXPECT_EQ(LoadSettingsFile(dir / "missing.conf", "").outputDir, "");
}

TEST(Settings, StoredBytesComeBackInTheirPlaces) {
    TempDir dir;
    WriteFile(dir / "s.conf", "CadrixDir=/music/out\n" + FormatLine(Word(70, 9, 5, 3)));
    const CadrixSettings s = LoadSettingsFile(dir / "s.conf", "/docs");
    EXPECT_EQ(s.Quality(FORMAT_OGG), 70);
    EXPECT_EQ(s.Quality(FORMAT_WMA), 9);
    EXPECT_EQ(s.Quality(FORMAT_WMA_VBR), 5);
    EXPECT_EQ(s.format, 3);
    EXPECT_EQ(s.outputDir, "/music/out");
}

TEST(Settings, OutOfRangeValuesFallBackToTheirOwnDefaults) {
    TempDir dir;
    WriteFile(dir / "s.conf", FormatLine(Word(120, 12, 7, 9)));
    CadrixSettings s = LoadSettingsFile(dir / "s.conf", "");
    EXPECT_EQ(s.format, 0);
    EXPECT_EQ(s.Quality(FORMAT_OGG), 50);
    EXPECT_EQ(s.Quality(FORMAT_WMA), 5);
    EXPECT_EQ(s.Quality(FORMAT_WMA_VBR), 3);

    // 101..110 are slider positions, yet the stored value comes back as 50;
    // the upper edges that are still in range stay.
    WriteFile(dir / "s.conf", FormatLine(Word(105, 9, 5, 4)));
    s = LoadSettingsFile(dir / "s.conf", "");
    EXPECT_EQ(s.Quality(FORMAT_OGG), 50);
    EXPECT_EQ(s.Quality(FORMAT_WMA), 9);
    EXPECT_EQ(s.Quality(FORMAT_WMA_VBR), 5);
    EXPECT_EQ(s.format, 4);
    WriteFile(dir / "s.conf", FormatLine(Word(100, 10, 6, FORMAT_COUNT)) + "CadrixFlacLevel=9\n");
    s = LoadSettingsFile(dir / "s.conf", "");
    EXPECT_EQ(s.Quality(FORMAT_OGG), 100);
    EXPECT_EQ(s.Quality(FORMAT_WMA), 5);
    EXPECT_EQ(s.Quality(FORMAT_WMA_VBR), 3);
    EXPECT_EQ(s.Quality(FORMAT_FLAC), 5);
    EXPECT_EQ(s.format, 0);
}

TEST(Settings, GarbageOrUnreadableFilesGiveDefaults) {
    TempDir dir;
    for (const std::string& text : {std::string("CadrixFormat=banana\n"), std::string("CadrixFormat=4294967296\n"),
                                    std::string("CadrixFormat=-1\n"), std::string("\x01\xff\xfe garbage\0\n", 14),
                                    std::string("CadrixFormat\n"), std::string("CadrixFormat= 12\n")}) {
        WriteFile(dir / "s.conf", text);
        const CadrixSettings s = LoadSettingsFile(dir / "s.conf", "/docs");
        EXPECT_EQ(s.format, 0) << text;
        EXPECT_EQ(s.Quality(FORMAT_OGG), 50) << text;
        EXPECT_EQ(s.Quality(FORMAT_WMA), 5) << text;
        EXPECT_EQ(s.Quality(FORMAT_WMA_VBR), 3) << text;
        EXPECT_EQ(s.outputDir, "/docs/My Music") << text;
    }
    // A folder where the file should be cannot be read either.
    std::filesystem::create_directories(dir / "folder.conf");
    EXPECT_EQ(LoadSettingsFile(dir / "folder.conf", "/docs").format, 0);
    // A stored folder longer than 255 bytes does not read: default folder.
    WriteFile(dir / "s.conf", "CadrixDir=/" + std::string(300, 'a') + "\n");
    EXPECT_EQ(LoadSettingsFile(dir / "s.conf", "/docs").outputDir, "/docs/My Music");
}

TEST(Settings, SaveWritesTheFourByteValueAndKeepsTheSuitesOtherValues) {
    TempDir dir;
    const std::string path = dir / "Zephyrtone/Zephyrtone.conf";
    WriteFile(path, "# suite\nPlayerVolume=80\ncadrixformat=1\nCadrixDir=/old\nCadrixDir=/older\n");
    CadrixSettings s;
    s.format = FORMAT_WMA_VBR;
    s.Quality(FORMAT_OGG) = 110;
    s.Quality(FORMAT_WMA) = 2;
    s.Quality(FORMAT_WMA_VBR) = 4;
    s.outputDir = "/home/u/My Music\nwith \\ odd bytes";
    ASSERT_TRUE(SaveSettingsFile(path, s));
    const std::string text = ReadFile(path);
    EXPECT_EQ(text,
              "# suite\nPlayerVolume=80\nCadrixFormat=" + std::to_string(110 + 256 * 2 + 65536 * 4 + 16777216u * 3) +
                  "\nCadrixDir=/home/u/My Music\\nwith \\\\ odd bytes\nCadrixOwnFormat=0\nCadrixFlacLevel=5\n"
                  "CadrixOnlineLookup=1\n");
    const CadrixSettings back = LoadSettingsFile(path, "");
    EXPECT_EQ(back.outputDir, s.outputDir);
    EXPECT_EQ(back.format, 3);
    EXPECT_EQ(back.Quality(FORMAT_OGG), 50);  // 110 is kept in the file but loads as 50
    // No temporary file is left beside it.
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir / "Zephyrtone")) ++files;
    EXPECT_EQ(files, 1);
}

TEST(Settings, LongFolderIsStoredAsItsFirst255Bytes) {
    TempDir dir;
    CadrixSettings s;
    s.outputDir = "/" + std::string(299, 'x');
    ASSERT_TRUE(SaveSettingsFile(dir / "s.conf", s));
    EXPECT_EQ(LoadSettingsFile(dir / "s.conf", "").outputDir, s.outputDir.substr(0, 255));
    EXPECT_EQ(ParseSettingsText(ReadFile(dir / "s.conf")).formatWord, Word(50, 5, 3, 0));
    // A character that would straddle byte 255 is left out whole.
    for (const std::string tail : {"\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x8e\xb5"}) {
        s.outputDir = "/" + std::string(252, 'x') + tail + "yy";
        ASSERT_TRUE(SaveSettingsFile(dir / "s.conf", s));
        const std::string stored = LoadSettingsFile(dir / "s.conf", "").outputDir;
        EXPECT_EQ(stored, "/" + std::string(252, 'x') + (tail.size() == 2 ? tail : "")) << tail.size();
    }
}

TEST(Settings, RefusedSaveLeavesNothingBehind) {
    TempDir dir;
    WriteFile(dir / "blocker", "a file where the folder should be");
    CadrixSettings s;
    EXPECT_FALSE(SaveSettingsFile(dir / "blocker/Zephyrtone.conf", s));
    EXPECT_FALSE(SaveSettingsFile("", s));
}

// The suite keeps all of its settings in the file: however large it grows,
// Cadrix reads its values from it and keeps every other line; a file it
// cannot read whole is never replaced, and it says why.
TEST(Settings, TheSuitesLargeFileKeepsEveryLineAndAnUnreadableOneIsNeverReplaced) {
    TempDir dir;
    const std::string path = dir / "Zephyrtone.conf";
    std::string suite;
    for (int k = 0; k < 40000; ++k)
        suite += "Player.Recent" + std::to_string(k) + "=/home/u/Music/An Album/A Track.wma\n";
    ASSERT_GT(suite.size(), 2u << 20);
    WriteFile(path, suite + FormatLine(Word(70, 9, 5, 3)));
    CadrixSettings s = LoadSettingsFile(path, "");
    EXPECT_EQ(s.format, 3);
    s.format = FORMAT_WMA;
    ASSERT_TRUE(SaveSettingsFile(path, s));
    const std::string saved = ReadFile(path);
    EXPECT_EQ(saved.substr(0, suite.size()), suite);
    EXPECT_EQ(ParseSettingsText(saved).formatWord, Word(70, 9, 5, 2));

    std::filesystem::resize_file(path, (64u << 20) + 1);  // beyond what is read: zeros, sparse
    testing::internal::CaptureStderr();
    EXPECT_FALSE(SaveSettingsFile(path, s));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(path + ": larger than 64 MiB"), std::string::npos) << said;
    EXPECT_EQ(std::filesystem::file_size(path), (64u << 20) + 1);
    EXPECT_EQ(ReadFile(path).substr(0, suite.size()), suite);
}

}  // namespace
}  // namespace cadrix
