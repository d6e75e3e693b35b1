// The disc database and the ini file that names its folder.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "names/disc_database.h"
#include "names/genre_table.h"
#include "temp_dir.h"

namespace cadrix {
namespace {

namespace fs = std::filesystem;

DriveRecord Parse(std::string_view text) {
    DriveRecord record;
    ParseDiscDatabase(text, record);
    return record;
}

TEST(GenreTable, HasAllNamesIncludingTheUnassigned) {
    EXPECT_EQ(GenreTable.size(), 272u);
    EXPECT_EQ(std::count(GenreTable.begin(), GenreTable.end(), std::string_view{}), 26);
    EXPECT_EQ(GenreTable[2], "Ambient/Dream Pop");
    EXPECT_EQ(GenreTable[39], "General Children's Music");
    EXPECT_EQ(GenreTable[124], "Tribal House");
    EXPECT_EQ(GenreTable[252], "Aboriginal Australian/Didjeridu");
    EXPECT_EQ(GenreTable[267], "Japanese Children's Song (Doyo)");
    EXPECT_EQ(GenreTable[271], "General World");
}

TEST(ParseAtoi, FollowsAtoi) {
    EXPECT_EQ(ParseAtoi(""), 0);
    EXPECT_EQ(ParseAtoi("abc"), 0);
    EXPECT_EQ(ParseAtoi("  \t42x"), 42);
    EXPECT_EQ(ParseAtoi("-7"), -7);
    EXPECT_EQ(ParseAtoi("+05"), 5);
    EXPECT_EQ(ParseAtoi("- 5"), 0);
    EXPECT_EQ(ParseAtoi("2147483647"), INT32_MAX);
    EXPECT_EQ(ParseAtoi("-2147483648"), INT32_MIN);
    // Saturates rather than wrapping into a small number.
    EXPECT_EQ(ParseAtoi("4294967301"), INT32_MAX);
    EXPECT_EQ(ParseAtoi("-99999999999999999999999"), INT32_MIN);
}

TEST(DiscDatabase, DiscFields) {
    const DriveRecord r = Parse("DARTIST=The Band\nDTITLE=Album\nDYEAR=ca. 1999\nREGION=EU\nDCOMP=1\nDGENRE1=2\n");
    EXPECT_EQ(r.discArtist, "The Band");
    EXPECT_EQ(r.discTitle, "Album");
    EXPECT_EQ(r.year, "ca. 1999");
    EXPECT_EQ(r.region, "EU");
    EXPECT_EQ(r.compilation, 1);
    EXPECT_EQ(r.genre, "Ambient/Dream Pop");
}

TEST(DiscDatabase, GenreNumbers) {
    EXPECT_EQ(Parse("DGENRE1=271").genre, "General World");
    EXPECT_EQ(Parse("DGENRE1=2\nDGENRE1=0").genre, "");
    EXPECT_EQ(Parse("DGENRE1=2\nDGENRE1=272").genre, "Ambient/Dream Pop");
    EXPECT_EQ(Parse("DGENRE1=2\nDGENRE1=-1").genre, "Ambient/Dream Pop");
    EXPECT_EQ(Parse("DGENRE1=x").genre, "");  // no digits reads as 0
}

TEST(DiscDatabase, SetNumberSuffix) {
    EXPECT_EQ(Parse("DSET=1\nDSETNUMBER=3\nDTITLE=Live at Home").discTitle, "Live at Home (3)");
    EXPECT_EQ(Parse("DTITLE=Live\nDSETNUMBER=2\nDSET=1").discTitle, "Live (2)");  // order free
    EXPECT_EQ(Parse("DSET=0\nDSETNUMBER=3\nDTITLE=T").discTitle, "T");
    EXPECT_EQ(Parse("DSETNUMBER=3\nDTITLE=T").discTitle, "T");
    EXPECT_EQ(Parse("DSET=1\nDSETNUMBER=100\nDTITLE=T").discTitle, "T");
    EXPECT_EQ(Parse("DSET=1\nDSETNUMBER=-2\nDTITLE=T").discTitle, "T");
    EXPECT_EQ(Parse("DSET=1\nDSETNUMBER=99\nDTITLE=T").discTitle, "T (99)");
    EXPECT_EQ(Parse("DSET=1\nDSETNUMBER=3").discTitle, "");
    // The flag stays on once set; the number is the last line's.
    EXPECT_EQ(Parse("DSET=2\nDSET=0\nDSETNUMBER=4\nDSETNUMBER=5\nDTITLE=T").discTitle, "T (5)");
}

TEST(DiscDatabase, LastLineWinsAndValuesAreUntrimmed) {
    const DriveRecord r = Parse("DTITLE=First\nDTITLE=  Second = part  \nTTITLE1=a=b=c\n");
    EXPECT_EQ(r.discTitle, "  Second = part  ");
    EXPECT_EQ(r.tracks[1].title, "a=b=c");
}

TEST(DiscDatabase, TrackNumbers) {
    const DriveRecord r = Parse(
        "TTITLE05=Five\nTARTIST5=Artist Five\nTTITLE=Zero\nTTITLE99=Last\nTTITLE100=Gone\n"
        "TTITLE-1=Gone\nTTITLE 7=Seven\nTTITLE8x=Eight\nTTITLE9 no equals sign\n"
        "TTITLE4294967301=Gone\n");
    EXPECT_EQ(r.tracks[5].title, "Five");
    EXPECT_EQ(r.tracks[5].artist, "Artist Five");
    EXPECT_EQ(r.tracks[0].title, "Zero");
    EXPECT_EQ(r.tracks[99].title, "Last");
    EXPECT_EQ(r.tracks[7].title, "Seven");
    EXPECT_EQ(r.tracks[8].title, "Eight");
    EXPECT_EQ(r.tracks[9].title, "");
    EXPECT_EQ(r.tracks[1].title, "");  // no wrap-around of huge numbers
    for (const TrackRecord& slot : r.tracks) EXPECT_NE(slot.title, "Gone");
}

TEST(DiscDatabase, UnknownKeysAreIgnored) {
    const DriveRecord r = Parse(
        "dtitle=lower\n DTITLE=blank before\nDTITLE =space\nDTITLE\nTITLE=x\n\n#DTITLE=c\nEXTD=x\n");
    EXPECT_EQ(r.discTitle, "");
    EXPECT_EQ(r.tracks[0].title, "");
}

TEST(DiscDatabase, LineEndings) {
    EXPECT_EQ(Parse("DTITLE=A\r\nDARTIST=B\r\n").discTitle, "A");
    EXPECT_EQ(Parse("DTITLE=A\r\nDARTIST=B\r\n").discArtist, "B");
    EXPECT_EQ(Parse("DARTIST=B\nDTITLE=A").discTitle, "A");  // no final newline
    EXPECT_EQ(Parse("DTITLE=A\r\r\n").discTitle, "A\r");     // only the CR before LF goes
    EXPECT_EQ(Parse("DTITLE=A\rDARTIST=B\n").discTitle, "A\rDARTIST=B");
    const std::string longTitle(100'000, 'y');
    EXPECT_EQ(Parse("DTITLE=" + longTitle + "\r\n").discTitle, longTitle);
}

TEST(DiscDatabase, FileNameIsLowerCaseHexWithoutLeadingZeros) {
    EXPECT_EQ(DiscDatabasePath("/db/", 0xA50B9C0C), "/db/a50b9c0c.cdb");
    EXPECT_EQ(DiscDatabasePath("/db/", 0x0A0B0C0D), "/db/a0b0c0d.cdb");
    EXPECT_EQ(DiscDatabasePath("/db/", 0x0000ABCD), "/db/abcd.cdb");
    EXPECT_EQ(DiscDatabasePath("/db/", 0xFFFFFFFF), "/db/ffffffff.cdb");
    EXPECT_EQ(DiscDatabasePath("/db/", 0), "/db/0.cdb");
}

TEST(DataDir, FirstNonEmptyValueWins) {
    EXPECT_EQ(ParseDataDir(""), "");
    EXPECT_EQ(ParseDataDir("other=1\ndatadir:\ndatadir:/music/db\ndatadir:/second\n"), "/music/db/");
    EXPECT_EQ(ParseDataDir("datadir:\r\ndatadir:"), "");
    EXPECT_EQ(ParseDataDir("DATADIR:/x\n datadir:/y\ndatadir /z\n"), "");
}

TEST(DataDir, ValueIsTakenUnchangedWithOneFinalSeparator) {
    EXPECT_EQ(ParseDataDir("datadir:/music/db"), "/music/db/");
    EXPECT_EQ(ParseDataDir("datadir:/music/db/\r\n"), "/music/db/");
    EXPECT_EQ(ParseDataDir("datadir: /music/db \n"), " /music/db /");
    EXPECT_EQ(ParseDataDir("datadir:relative//"), "relative//");
}

// Files under a temporary configuration folder that stands in for $HOME's.
class DatabaseFiles : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = tmp_.path();
        if (const char* old = getenv("XDG_CONFIG_HOME")) savedConfig_ = old;
        setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
        fs::create_directories(root_ / "config" / "Zephyrtone");
        fs::create_directories(root_ / "db");
    }
    void TearDown() override {
        if (savedConfig_) {
            setenv("XDG_CONFIG_HOME", savedConfig_->c_str(), 1);
        } else {
            unsetenv("XDG_CONFIG_HOME");
        }
    }
    static void Write(const fs::path& path, std::string_view text) { std::ofstream(path, std::ios::binary) << text; }
    void WriteIni(std::string_view text) { Write(root_ / "config" / "Zephyrtone" / "zephtone.ini", text); }
    std::string DbDir() const { return (root_ / "db").string(); }

    test::TempDir tmp_;
    fs::path root_;
    std::optional<std::string> savedConfig_;
};

TEST_F(DatabaseFiles, IniInTheSuiteConfigurationFolder) {
    EXPECT_EQ(SuiteIniPath(), (root_ / "config" / "Zephyrtone" / "zephtone.ini").string());
    EXPECT_EQ(ReadDataDir(), "");  // no ini
    WriteIni("[paths]\r\ndatadir:\r\ndatadir:" + DbDir() + "\r\n");
    EXPECT_EQ(ReadDataDir(), DbDir() + "/");
    WriteIni("datadir:" + DbDir() + "/");
    EXPECT_EQ(ReadDataDir(), DbDir() + "/");
}

TEST_F(DatabaseFiles, DefaultConfigurationFolderIsUnderHome) {
    unsetenv("XDG_CONFIG_HOME");
    const char* home = getenv("HOME");
    const std::string savedHome = home ? home : "";
    setenv("HOME", (root_ / "home").c_str(), 1);
    EXPECT_EQ(SuiteIniPath(), (root_ / "home" / ".config" / "Zephyrtone" / "zephtone.ini").string());
    setenv("XDG_CONFIG_HOME", "relative/config", 1);  // not absolute: ignored
    EXPECT_EQ(SuiteIniPath(), (root_ / "home" / ".config" / "Zephyrtone" / "zephtone.ini").string());
    if (home) {
        setenv("HOME", savedHome.c_str(), 1);
    } else {
        unsetenv("HOME");
    }
}

TEST_F(DatabaseFiles, ReadsTheFileNamedAfterTheDisc) {
    Write(root_ / "db" / "abcd.cdb", "DTITLE=Found\r\nTTITLE1=One\r\nDSET=1\r\nDSETNUMBER=2");
    DriveRecord record;
    record.discId = 0x0000ABCD;
    EXPECT_TRUE(ReadDiscDatabase(DbDir() + "/", record));
    EXPECT_EQ(record.discTitle, "Found (2)");
    EXPECT_EQ(record.tracks[1].title, "One");

    DriveRecord other;
    other.discId = 0x1234;
    EXPECT_FALSE(ReadDiscDatabase(DbDir() + "/", other));
    EXPECT_EQ(other.discTitle, "");
    EXPECT_FALSE(ReadDiscDatabase("", record));
}

// Lines have no length limit; only a file that is not a regular one, or is
// absurdly large, is refused, and standard error says which and why.
TEST_F(DatabaseFiles, LinesOfAnyLengthAndRefusedFilesSaidOnStandardError) {
    const std::string longComment = "# " + std::string(100 * 1024, 'x') + "\n";
    WriteIni(longComment + "datadir:" + DbDir() + "\n");
    EXPECT_EQ(ReadDataDir(), DbDir() + "/");
    const std::string longTitle(200 * 1024, 't');
    Write(root_ / "db" / "abcd.cdb", longComment + "DTITLE=" + longTitle + "\nTTITLE1=One\n");
    DriveRecord record;
    record.discId = 0xABCD;
    EXPECT_TRUE(ReadDiscDatabase(DbDir() + "/", record));
    EXPECT_EQ(record.discTitle, longTitle);
    EXPECT_EQ(record.tracks[1].title, "One");

    fs::resize_file(root_ / "db" / "abcd.cdb", (64u << 20) + 1);
    fs::create_directories(root_ / "db" / "1234.cdb");
    testing::internal::CaptureStderr();
    DriveRecord refused;
    refused.discId = 0xABCD;
    EXPECT_FALSE(ReadDiscDatabase(DbDir() + "/", refused));
    refused.discId = 0x1234;
    EXPECT_FALSE(ReadDiscDatabase(DbDir() + "/", refused));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(DbDir() + "/abcd.cdb: larger than 64 MiB; it is not read\n"), std::string::npos) << said;
    EXPECT_NE(said.find(DbDir() + "/1234.cdb: not a regular file; it is not read\n"), std::string::npos) << said;
}

TEST_F(DatabaseFiles, LeadingBlankInDataDirFindsNothing) {
    Write(root_ / "db" / "abcd.cdb", "DTITLE=Found\n");
    WriteIni("datadir: " + DbDir());
    DriveRecord record;
    record.discId = 0xABCD;
    EXPECT_FALSE(ReadDiscDatabase(ReadDataDir(), record));
    EXPECT_EQ(record.discTitle, "");
}

}  // namespace
}  // namespace cadrix
