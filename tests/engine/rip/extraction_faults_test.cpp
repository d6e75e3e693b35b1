// Inputs and machines that must never hang cadrix-rip or leave a wrong file:
// special files where Cadrix expects its small text files or a disc image,
// and a file-size limit in the middle of a rip.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "demo_disc.h"
#include "disc_generator.h"
#include "extraction_test_support.h"
#include "run_program.h"
#include "settings/settings.h"

namespace fs = std::filesystem;

namespace cadrix {
namespace {

class RipFaults : public ::testing::Test {
protected:
    void SetUp() override {
        root = tmp.Path() + "/demo";
        ASSERT_TRUE(discgen::WriteDemo(root));
        out = tmp.Path() + "/out";
    }
    test::ProgramResult Rip(const std::vector<std::string>& args, long fileSizeLimit = -1) const {
        test::ProgramOptions options;
        options.env = {"CADRIX_VIRTUAL_DRIVES=" + root + "/drive", "XDG_CONFIG_HOME=" + root + "/config",
                       "HOME=" + tmp.Path()};
        options.timeoutSeconds = 10;
        options.fileSizeLimit = fileSizeLimit;
        return test::RunProgram(CADRIX_RIP_PATH, args, options);
    }
    // Replaces `path` by a FIFO (kind 0) or a link to /dev/zero (kind 1).
    static void MakeSpecial(const std::string& path, int kind) {
        fs::remove(path);
        if (kind == 0) {
            ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
        } else {
            fs::create_symlink("/dev/zero", path);
        }
    }
    std::string DatabaseFile() const {
        for (const auto& entry : fs::directory_iterator(root + "/database")) return entry.path().string();
        return {};
    }

    test::TempDir tmp;
    std::string root;
    std::string out;
};

TEST_F(RipFaults, SpecialFilesAsSheetOrDataFileAreNoDisc) {
    for (int kind : {0, 1}) {
        for (const char* leaf : {"/drive/demo.cue", "/drive/demo.bin"}) {
            ASSERT_TRUE(discgen::WriteDemo(root));
            MakeSpecial(root + leaf, kind);
            const auto list = Rip({"--list"});
            EXPECT_FALSE(list.timedOut) << leaf;
            EXPECT_EQ(list.status, 0) << leaf;
            EXPECT_NE(list.output.find("  Disc: (no disc)\n"), std::string::npos) << leaf << list.output;
            EXPECT_EQ(Rip({"--output", out}).status, 1) << leaf;  // no audio track to extract
        }
    }
}

TEST_F(RipFaults, SpecialFilesAsIniOrDatabaseLeaveTheDiscUnnamed) {
    const auto& album = discgen::DemoAlbumInfo();
    for (int kind : {0, 1}) {
        for (int which : {0, 1}) {
            ASSERT_TRUE(discgen::WriteDemo(root));
            MakeSpecial(which == 0 ? root + "/config/Zephyrtone/zephtone.ini" : DatabaseFile(), kind);
            const auto list = Rip({"--list"});
            EXPECT_FALSE(list.timedOut);
            EXPECT_EQ(list.status, 0);
            EXPECT_EQ(list.output.find(album.title), std::string::npos) << list.output;
            EXPECT_NE(list.output.find("  Disc: Untitled Disc\n"), std::string::npos) << list.output;
        }
    }
    MakeSpecial(tmp.Path() + "/settings.conf", 0);
    EXPECT_EQ(LoadSettingsFile(tmp.Path() + "/settings.conf", "/docs").outputDir, "/docs/My Music");
}

// A file-size limit stops a write like a full disk: the track fails and the
// file holds exactly the blocks that fit.
TEST_F(RipFaults, FileSizeLimitFailsTheTrackAndKeepsTheFileConsistent) {
    const long limit = 44 + 40 * 63504 + 1000;
    const auto rip = Rip({"--tracks", "1", "--output", out}, limit);
    EXPECT_EQ(rip.status, 1) << rip.output;
    EXPECT_NE(rip.output.find("Track 1: cannot write '"), std::string::npos) << rip.output;
    EXPECT_NE(rip.output.find("File too large"), std::string::npos) << rip.output;
    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(out)) files.push_back(e.path());
    ASSERT_EQ(files.size(), 3u);  // the disc folder, the track and the rip's log
    std::erase_if(files, [](const fs::path& f) { return f.extension() != ".wav"; });
    ASSERT_EQ(files.size(), 1u);
    const auto bytes = test::ReadWholeFile(files[0].string());
    EXPECT_EQ(bytes.size(), 44u + 40 * 63504);
    EXPECT_TRUE(test::IsConsistentWave(bytes));
}

}  // namespace
}  // namespace cadrix
