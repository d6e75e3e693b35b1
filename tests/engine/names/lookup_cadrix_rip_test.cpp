// cadrix-rip's online lookup end to end: the real akrip.so reads a generated
// disc that the suite's database does not know, the local stand-in server
// names it, and the listing, the folder and the files take those names.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "demo_disc.h"
#include "disc_generator.h"
#include "extraction_test_support.h"
#include "lookup_server.h"
#include "names/disc_database.h"

namespace fs = std::filesystem;

namespace cadrix {
namespace {

class RipLookup : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = tmp_.Path() + "/demo";
        ASSERT_TRUE(discgen::WriteDemo(root_));
        disc_.tracks = {{.frames = 900}, {.frames = 700}, {.frames = 600}};
        ASSERT_TRUE(discgen::WriteDiscImage(disc_, root_ + "/drive", "demo"));
    }
    // Runs cadrix-rip against a server playing `scenario`; standard output
    // and standard error together.
    std::string Rip(const std::string& scenario, const std::string& args, int expectedStatus = 0) {
        if (!server_ || scenario != scenario_) server_ = std::make_unique<test::LookupServer>(scenario, LogPath());
        scenario_ = scenario;
        const std::string command = "env CADRIX_VIRTUAL_DRIVES=" + root_ + "/drive XDG_CONFIG_HOME=" + root_ +
                                    "/config HOME=" + tmp_.Path() + " XDG_DATA_HOME=" + tmp_.Path() +
                                    "/data CADRIX_MUSICBRAINZ_SERVER=" + server_->Url() +
                                    " CADRIX_GNUDB_SERVER=" + server_->Url() + " " CADRIX_RIP_PATH " " + args + " 2>&1";
        std::string output;
        FILE* pipe = popen(command.c_str(), "r");
        char buffer[4096];
        for (size_t n; pipe != nullptr && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
        const int status = pipe != nullptr ? pclose(pipe) : -1;
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, expectedStatus) << command << "\n" << output;
        return output;
    }
    std::string LogPath() const { return tmp_.Path() + "/requests.log"; }
    std::string OwnFile(uint32_t discId) const { return DiscDatabasePath(tmp_.Path() + "/data/cadrix/discs/", discId); }
    // The files under `folder`, by their path inside it.
    static std::vector<std::string> Files(const std::string& folder) {
        std::vector<std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(folder)) files.push_back(fs::relative(e, folder));
        std::erase_if(files, [&](const std::string& f) { return fs::is_directory(folder + "/" + f); });
        std::sort(files.begin(), files.end());
        return files;
    }

    test::TempFolder tmp_;
    std::string root_;
    discgen::DiscDescription disc_;
    std::unique_ptr<test::LookupServer> server_;
    std::string scenario_;
};

TEST_F(RipLookup, ListLooksUpOnceAndTheRipIsNamedFromTheSavedFile) {
    const std::string list = Rip("one", "--list");
    EXPECT_NE(list.find("Disc: The Tide & Friends - Live at the Lighthouse (2)"), std::string::npos) << list;
    EXPECT_NE(list.find("\tThe Tide - Harbour Lights\t"), std::string::npos) << list;
    EXPECT_TRUE(fs::exists(OwnFile(discgen::ExpectedTocOf(disc_).cddbId)));
    const std::string requests = server_->Log();

    const std::string out = tmp_.Path() + "/out";
    Rip("one", "--output " + out);
    EXPECT_EQ(server_->Log(), requests);  // named by the saved file now
    const std::string folder = "The Tide & Friends - Live at the Lighthouse (2)/";
    EXPECT_EQ(Files(out), (std::vector<std::string>{folder + "01 - The Tide - Harbour Lights.wav",
                                                    folder + "02 - The Tide - Undertow (live).wav",
                                                    folder + "03 - Guest Singer - Last Call.wav",
                                                    folder + "The Tide & Friends - Live at the Lighthouse (2).cue",
                                                    folder + "The Tide & Friends - Live at the Lighthouse (2).log"}));
}

TEST_F(RipLookup, NoLookupTouchesNoNetwork) {
    const std::string list = Rip("one", "--list --no-lookup");
    EXPECT_NE(list.find("Disc: Untitled Disc"), std::string::npos) << list;
    EXPECT_EQ(server_->Log(), "");
    EXPECT_FALSE(fs::exists(tmp_.Path() + "/data/cadrix/discs"));
}

TEST_F(RipLookup, LookupOnlyListsTheReleasesAndSavesTheChosenOne) {
    const std::string found = Rip("several", "--lookup-only --release 2");
    EXPECT_NE(found.find("   --release 1: The Tide - Tidal (2001, US, Shore Music, CD, 3 tracks)"), std::string::npos)
        << found;
    EXPECT_NE(found.find(" * --release 2: The Tide - Tidal (Remastered)"), std::string::npos);
    EXPECT_NE(found.find("Disc: The Tide - Tidal (Remastered)\n  1\tUno\n  2\tDos\n  3\tTres\n"), std::string::npos);
    const std::string again = Rip("several", "--lookup-only");
    EXPECT_NE(again.find("delete it to look the disc up again"), std::string::npos) << again;
}

TEST_F(RipLookup, FailuresLeaveTheDiscUnnamedAndHostileNamesStayInTheBaseFolder) {
    const std::string busy = Rip("busy", "--output " + tmp_.Path() + "/busy");
    EXPECT_NE(busy.find("cadrix-rip: drive 1: no names found: MusicBrainz: HTTP 503; gnudb: HTTP 500\n"),
              std::string::npos)
        << busy;
    EXPECT_EQ(Files(tmp_.Path() + "/busy")[0].rfind("Untitled Disc (", 0), 0u);
    Rip("busy", "--lookup-only", 1);

    const std::string out = tmp_.Path() + "/hostile";
    Rip("hostile", "--output " + out);
    const std::vector<std::string> files = Files(out);
    ASSERT_EQ(files.size(), 5u);  // three tracks, the cue sheet and the rip's log
    for (const std::string& file : files) {
        EXPECT_TRUE(fs::weakly_canonical(out + "/" + file).string().starts_with(out + "/")) << file;
    }
}

// A disc no source knows is listed with the page that adds it to
// MusicBrainz; its disc id and TOC are libdiscid's for the image's TOC.
TEST_F(RipLookup, AnUnknownDiscIsListedWithItsMusicBrainzSubmissionLink) {
    const std::string list = Rip("none", "--list");
    const std::string lead = "  Add this disc to MusicBrainz: ";
    const size_t at = list.find(lead);
    ASSERT_NE(at, std::string::npos) << list;
    const std::string url = list.substr(at + lead.size(), list.find('\n', at) - at - lead.size());

    const discgen::ExpectedToc toc = discgen::ExpectedTocOf(disc_);
    std::string offsets;
    for (uint32_t start : toc.trackStarts) offsets += "," + std::to_string(start + 150);
    const std::string script = "import libdiscid; d = libdiscid.put(1, 3, " + std::to_string(toc.leadout + 150) +
                               ", [" + offsets.substr(1) +
                               "]); print(d.id + '&tracks=3&toc=' + d.toc.replace(' ', '+'))";
    FILE* pipe = popen((std::string(CADRIX_LOOKUP_PYTHON) + " -c \"" + script + "\"").c_str(), "r");
    char line[512] = {};
    ASSERT_NE(pipe, nullptr);
    ASSERT_NE(fgets(line, sizeof line, pipe), nullptr);
    pclose(pipe);
    std::string expected = line;
    expected.pop_back();
    EXPECT_EQ(url, server_->Url() + "/cdtoc/attach?id=" + expected);

    // A named disc gets no link.
    EXPECT_EQ(Rip("one", "--list").find(lead), std::string::npos);
}

TEST_F(RipLookup, TheSuiteDatabaseIsNeverShadowed) {
    ASSERT_TRUE(discgen::WriteDemo(root_));
    const uint32_t demoId = discgen::ExpectedTocOf(discgen::DemoDiscDescription()).cddbId;
    fs::create_directories(fs::path(OwnFile(demoId)).parent_path());
    std::ofstream(OwnFile(demoId)) << "DTITLE=Own Title\n";
    const std::string list = Rip("one", "--list");
    const auto& album = discgen::DemoAlbumInfo();
    EXPECT_NE(list.find("Disc: " + album.artist + " - " + album.title), std::string::npos) << list;
    EXPECT_EQ(server_->Log(), "");
}

}  // namespace
}  // namespace cadrix
