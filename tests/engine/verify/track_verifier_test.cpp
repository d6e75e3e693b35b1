// The burst-then-secure decision against a local AccurateRip stand-in (the
// database file made from a generated image by cadrix_arstandin, served by
// static_server.py): a track read at full speed stands when AccurateRip
// proves it and is read again securely when it does not; without an answer
// every read is secure.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "disc_generator.h"
#include "extraction_test_support.h"
#include "lookup_server.h"
#include "standin_writer.h"
#include "verify/track_verifier.h"

namespace cadrix {
namespace {

// The modes the verifier asked the drive for, in order.
std::vector<int32_t> modes;
int32_t RecordMode(HCDROM, int32_t mode) {
    modes.push_back(mode);
    return 1;
}

class BurstThenSecure : public ::testing::Test {
protected:
    void SetUp() override {
        modes.clear();
        discgen::DiscDescription disc = discgen::AudioDisc({700, 900, 400}, 33);
        ASSERT_TRUE(discgen::WriteDiscImage(disc, tmp.Path() + "/image", "disc"));
        image = tmp.Path() + "/image/disc.cue";
        std::string path, error;
        // Every submission has other sums for track 2.
        ASSERT_TRUE(standin::WriteDiscFile(image, tmp.Path() + "/ar", {.wrongTrack = 2}, path, error)) << error;
        ASSERT_TRUE(standin::ComputeDiscSums(image, id, sums, error)) << error;
        server = std::make_unique<test::ScriptServer>(CADRIX_LOOKUP_PYTHON,
                                                      std::vector<std::string>{CADRIX_STATIC_SERVER_SCRIPT,
                                                                               tmp.Path() + "/ar", Log()},
                                                      Log());
    }
    std::string Log() const { return tmp.Path() + "/requests.log"; }

    // A verifier for the image's disc that asks the stand-in (when `online`).
    void Configure(bool online) {
        VerifySettings settings;
        settings.enabled = online;
        settings.server = server->Url();
        const DriveRecord record = test::MakeDisc({0, 700, 1600, 2000});
        verifier.Configure(record, {0x100, &RecordMode, nullptr}, DriveFacts{}, std::pair{0, OffsetSource::Image},
                           std::make_shared<AccurateRipLookup>(id, std::string(), settings));
    }
    // Reads `track` once with its true sums (or other ones when `wrong`):
    // true when the track is done.
    bool Pass(int32_t track, bool burst, bool wrong = false) {
        const auto& [v1, v2] = sums[static_cast<size_t>(track - 1)];
        return verifier.EndPass(track, burst, 0xC0000000u + static_cast<uint32_t>(track), v1 + wrong, v2 + wrong, 1);
    }

    test::TempFolder tmp;
    std::string image;
    AccurateRipDiscId id;
    std::vector<std::pair<uint32_t, uint32_t>> sums;
    std::unique_ptr<test::ScriptServer> server;
    RunVerifier verifier;
    std::atomic<int32_t> abort{0};
};

TEST_F(BurstThenSecure, AProvenFastReadStandsAndAnUnprovenOneIsReadAgainSecurely) {
    Configure(true);
    bool burst = false;
    ASSERT_TRUE(verifier.BeginTrack(1, abort, burst));
    ASSERT_TRUE(burst) << "AccurateRip knows the disc: the first read is at full speed";
    EXPECT_TRUE(Pass(1, true));
    EXPECT_EQ(verifier.Track(1).way, ReadWay::Burst);
    EXPECT_EQ(verifier.Track(1).ar.verdict, ArVerdict::Accurate);

    ASSERT_TRUE(verifier.BeginTrack(2, abort, burst));
    ASSERT_TRUE(burst);
    EXPECT_FALSE(Pass(2, true)) << "AccurateRip has other sums for track 2: read it again";
    EXPECT_EQ(modes.back(), AKRIP_READ_SECURE);
    EXPECT_TRUE(Pass(2, false));
    EXPECT_EQ(verifier.Track(2).way, ReadWay::BurstThenSecure);
    EXPECT_EQ(verifier.Track(2).burstCrc32, 0xC0000002u);
    EXPECT_EQ(modes, (std::vector<int32_t>{AKRIP_READ_BURST, AKRIP_READ_BURST, AKRIP_READ_SECURE}));

    // A fast read whose sums AccurateRip does not list (a bad copy) is not
    // proven either.
    ASSERT_TRUE(verifier.BeginTrack(3, abort, burst));
    EXPECT_FALSE(Pass(3, true, true));
    EXPECT_EQ(verifier.Track(3).way, ReadWay::BurstThenSecure);
}

TEST_F(BurstThenSecure, WithoutAnAnswerEveryReadIsSecure) {
    Configure(false);
    bool burst = true;
    ASSERT_TRUE(verifier.BeginTrack(1, abort, burst));
    EXPECT_FALSE(burst);
    EXPECT_TRUE(Pass(1, false, true));
    EXPECT_EQ(verifier.Track(1).way, ReadWay::Secure);
    EXPECT_EQ(modes, std::vector<int32_t>{AKRIP_READ_SECURE});
}

}  // namespace
}  // namespace cadrix
