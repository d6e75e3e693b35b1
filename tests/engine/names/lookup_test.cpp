// Online name lookup against the local stand-in server: MusicBrainz, the
// gnudb fallback, failures and hostile replies, the files it saves (read back
// with the disc database reader), and the MusicBrainz disc id against
// libdiscid and the web service's documented example.
#include <discid/discid.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <thread>

#include "extraction_test_support.h"
#include "lookup_server.h"
#include "names/disc_database.h"
#include "names/disc_lookup.h"
#include "names/genre_table.h"
#include "names/musicbrainz_lookup.h"
#include "names/name_limits.h"

namespace cadrix {
namespace {

using std::chrono::milliseconds;

// Three audio tracks; the id only names files and gnudb queries here.
DiscQuery ThreeTrackDisc() {
    DriveRecord record = test::MakeDisc({0, 1500, 3000, 5000});
    record.discId = 0x0a0b0c03;
    return MakeDiscQuery(record);
}

class Lookup : public ::testing::Test {
protected:
    LookupReply Run(const std::string& scenario, milliseconds timeout = milliseconds(10000)) {
        server_ = std::make_unique<test::LookupServer>(scenario, tmp_.Path() + "/requests.log");
        LookupSettings settings;
        settings.musicBrainzServer = settings.gnudbServer = server_->Url();
        settings.timeout = timeout;
        return LookUpDiscNames(ThreeTrackDisc(), settings);
    }
    // The saved file of `release`, as the disc database reader sees it.
    DriveRecord SaveAndRead(const ReleaseCandidate& release) {
        std::string path;
        EXPECT_EQ(SaveRelease(release, ThreeTrackDisc(), Folder(), "", path), SaveOutcome::Written);
        DriveRecord record;
        record.discId = ThreeTrackDisc().discId;
        EXPECT_TRUE(ReadDiscDatabase(Folder(), record));
        return record;
    }
    std::string Folder() const { return tmp_.Path() + "/discs/"; }
    std::string FileText() const {
        std::ifstream in(DiscDatabasePath(Folder(), ThreeTrackDisc().discId), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    test::TempFolder tmp_;
    std::unique_ptr<test::LookupServer> server_;
};

TEST_F(Lookup, OneMusicBrainzReleaseIsSavedAndReadBack) {
    const LookupReply reply = Run("one");
    ASSERT_EQ(reply.status, LookupStatus::Found) << reply.reason;
    ASSERT_EQ(reply.releases.size(), 1u);
    const std::string discId = MusicBrainzDiscId(ThreeTrackDisc());
    EXPECT_NE(server_->Log().find("/ws/2/discid/" + discId + "?inc="), std::string::npos) << server_->Log();
    EXPECT_NE(server_->Log().find("\tCadrix/"), std::string::npos);

    const DriveRecord r = SaveAndRead(reply.releases[0]);
    EXPECT_EQ(r.discArtist, "The Tide & Friends");
    EXPECT_EQ(r.discTitle, "Live at the Lighthouse (2)");  // disc 2 of a set of 2
    EXPECT_EQ(r.year, "1999");
    EXPECT_EQ(r.region, "GB");
    EXPECT_EQ(r.genre, "General Jazz");  // the genre with the most votes
    EXPECT_EQ(r.compilation, 1);
    EXPECT_EQ(r.tracks[1].artist + " - " + r.tracks[1].title, "The Tide - Harbour Lights");
    EXPECT_EQ(r.tracks[2].title, "Undertow (live)");  // the track's title before the recording's
    EXPECT_EQ(r.tracks[3].artist, "Guest Singer");

    // The user's edit is kept: a file is never replaced.
    std::ofstream(DiscDatabasePath(Folder(), r.discId), std::ios::binary) << "DTITLE=Mine\n";
    std::string path;
    EXPECT_EQ(SaveRelease(reply.releases[0], ThreeTrackDisc(), Folder(), "", path), SaveOutcome::AlreadyThere);
    EXPECT_EQ(FileText(), "DTITLE=Mine\n");
    EXPECT_EQ(SaveRelease(reply.releases[0], ThreeTrackDisc(), Folder(), Folder() + "../discs", path),
              SaveOutcome::SuiteFolder);
}

TEST_F(Lookup, SeveralReleasesForTheChooserOnlyThoseThatFitTheDisc) {
    const LookupReply reply = Run("several");
    ASSERT_EQ(reply.status, LookupStatus::Found) << reply.reason;
    ASSERT_EQ(reply.releases.size(), 2u);  // the 4-track release does not fit
    EXPECT_EQ(DescribeRelease(reply.releases[0]), "The Tide - Tidal (2001, US, Shore Music, CD, 3 tracks)");
    EXPECT_EQ(DescribeRelease(reply.releases[1]), "The Tide - Tidal (Remastered) (2011, DE, Enhanced CD, 3 tracks)");
    EXPECT_EQ(reply.releases[1].names.tracks[3].title, "Tres");
    EXPECT_EQ(SaveAndRead(reply.releases[1]).compilation, 0);
}

TEST_F(Lookup, GnudbWhenMusicBrainzKnowsNothing) {
    const LookupReply reply = Run("gnudb");
    ASSERT_EQ(reply.status, LookupStatus::Found) << reply.reason;
    ASSERT_EQ(reply.releases.size(), 1u);  // the match with an unsafe id is never read
    EXPECT_NE(server_->Log().find("cmd=cddb+query+0a0b0c03+3+150+1650+3150+68&hello="), std::string::npos)
        << server_->Log();
    EXPECT_EQ(server_->Log().find("etc"), std::string::npos);
    const DriveRecord r = SaveAndRead(reply.releases[0]);
    EXPECT_EQ(r.discArtist, "Night Owls");
    EXPECT_EQ(r.discTitle, "Quiet Hours");
    EXPECT_EQ(r.genre, "Trip Hop");
    EXPECT_EQ(r.tracks[2].title, "Second Wind");  // joined from two lines
    EXPECT_EQ(r.tracks[3].title, "Third Part \\ End");
}

TEST_F(Lookup, NothingFoundOrAFailureOrTheTimeOutSaysWhyPerSource) {
    struct Case {
        const char* scenario;
        LookupStatus status;
        const char* reason;
    };
    for (const Case& c : {
             Case{"none", LookupStatus::NotFound, "is not known; gnudb: no entry matches the disc"},
             Case{"busy", LookupStatus::Failed, "MusicBrainz: HTTP 503; gnudb: HTTP 500"},
             Case{"malformed", LookupStatus::Failed, "not a well-formed MusicBrainz document"},
             Case{"huge", LookupStatus::Failed, "MusicBrainz: the reply is larger than"},
             Case{"slow", LookupStatus::Failed, "MusicBrainz: no complete reply within the time-out of 1 s"},
         }) {
        const auto start = std::chrono::steady_clock::now();
        const LookupReply reply = Run(c.scenario, milliseconds(1000));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << c.scenario;
        EXPECT_EQ(reply.status, c.status) << c.scenario;
        EXPECT_NE(reply.reason.find(c.reason), std::string::npos) << c.scenario << ": " << reply.reason;
        EXPECT_TRUE(reply.releases.empty());
    }
    LookupSettings off;
    off.enabled = false;
    EXPECT_EQ(LookUpDiscNames(ThreeTrackDisc(), off).reason, "online lookup is off");
}

TEST_F(Lookup, HostileRepliesGiveCleanNamesOrNone) {
    const LookupReply reply = Run("hostile");  // MusicBrainz: 200 tracks for a 3-track disc
    ASSERT_EQ(reply.status, LookupStatus::Found) << reply.reason;
    EXPECT_EQ(reply.releases[0].source, "gnudb");
    const DriveRecord r = SaveAndRead(reply.releases[0]);
    EXPECT_EQ(r.discArtist, "../..");
    EXPECT_EQ(r.tracks[1].title, "[2J../../evil /x");                                 // ESC, SOH and DEL became blanks
    EXPECT_EQ(r.tracks[2].title, "caf\u00e9 \u00ff\u00fe\u00c0\u00af \u00ed\u00a0");  // read as Latin-1
    EXPECT_EQ(r.tracks[3].title, std::string(MAX_SAVED_TRACK_PART, 'A'));             // room for "03 - " and ".flac"
    EXPECT_EQ(r.genre, "");                                                           // "[31mrock" is no genre
    for (char c : FileText()) EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << int(c);
}

TEST(DiscLookupThread, CancelsAtDestructionAndAsksMusicBrainzOnceASecondFromAnyThread) {
    test::TempFolder tmp;
    test::LookupServer slow("slow", tmp.Path() + "/slow.log");
    test::LookupServer one("one", tmp.Path() + "/one.log");
    LookupSettings settings;
    settings.musicBrainzServer = settings.gnudbServer = slow.Url();
    std::atomic<int> calls{0};
    auto start = std::chrono::steady_clock::now();
    {
        DiscLookup lookup(ThreeTrackDisc(), settings, [&] { calls.fetch_add(1); });
        std::this_thread::sleep_for(milliseconds(300));
        EXPECT_FALSE(lookup.Finished());
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(calls.load(), 1);

    settings.musicBrainzServer = settings.gnudbServer = one.Url();
    start = std::chrono::steady_clock::now();
    DiscLookup first(ThreeTrackDisc(), settings);
    DiscLookup second(ThreeTrackDisc(), settings);
    while (!first.Finished() || !second.Finished()) std::this_thread::sleep_for(milliseconds(5));
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(1000));
    EXPECT_EQ(first.Result().status, LookupStatus::Found);
    EXPECT_EQ(second.Result().status, LookupStatus::Found);
}

// libdiscid's id of the TOC with `starts` (frames from the program area's
// start) and `leadout`.
std::string LibdiscidId(const std::vector<int>& starts, int leadout) {
    std::unique_ptr<DiscId, void (*)(DiscId*)> id(discid_new(), discid_free);
    int offsets[100] = {leadout + 150};
    for (size_t k = 0; k < starts.size(); ++k) offsets[k + 1] = starts[k] + 150;
    discid_put(id.get(), 1, static_cast<int>(starts.size()), offsets);
    return discid_get_id(id.get());
}

TEST(MusicBrainzDiscId, DocumentedExampleAndTheEnhancedCdAudioSession) {
    DriveRecord doc = test::MakeDisc({0, 15213, 32164, 46442, 63264, 80339, 95312});
    EXPECT_EQ(MusicBrainzDiscId(MakeDiscQuery(doc)), "49HHV7Eb8UKF3aQiNmu1GR8vKTY-");
    // The data session after the gap is left out; the audio session ends 11400 frames before it.
    DriveRecord enhanced = test::MakeDisc({0, 1500, 3000, 5000 + 11400, 17000}, {4});
    EXPECT_EQ(MusicBrainzDiscId(MakeDiscQuery(enhanced)), LibdiscidId({0, 1500, 3000}, 5000));
    DriveRecord mixed = test::MakeDisc({0, 1500, 3000, 5000}, {1});
    EXPECT_EQ(MusicBrainzDiscId(MakeDiscQuery(mixed)), LibdiscidId({0, 1500, 3000}, 5000));
    EXPECT_EQ(MusicBrainzDiscId(MakeDiscQuery(test::MakeDisc({0, 5000}, {1}))), "");
}

TEST(NearestGenre, FreeNamesMapToTheTable) {
    for (const auto& [name, entry] :
         std::vector<std::pair<std::string_view, std::string_view>>{{"hip hop", "General Hip Hop"},
                                                                    {"Drum and Bass", "Drum n' Bass/Jungle"},
                                                                    {"newage", "General New Age"},
                                                                    {"symphonic metal", "General Metal"},
                                                                    {"Classic Rock", "Classic Rock"},
                                                                    {"misc", ""},
                                                                    {"", ""}}) {
        const int32_t n = NearestGenre(name);
        EXPECT_EQ(n < 0 ? std::string_view() : GenreTable[static_cast<size_t>(n)], entry) << name;
    }
}

}  // namespace
}  // namespace cadrix
