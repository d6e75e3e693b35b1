// The check of a stream's silences against single reads that span them,
// on audio made here and a drive that places each read a few samples off.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "cd_geometry.h"
#include "silence_seams.h"

namespace akrip {
namespace {

constexpr int64_t kFrame = cadrix::cd::kSamplesPerFrame;

// Random stereo samples, with digital silence over sectors [silentFrom, silentTo).
std::vector<uint32_t> Disc(int64_t sectors, int64_t silentFrom, int64_t silentTo, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint32_t> samples(size_t(sectors * kFrame));
    for (size_t i = 0; i < samples.size(); ++i) {
        const auto sector = static_cast<int64_t>(i) / kFrame;
        samples[i] = sector >= silentFrom && sector < silentTo ? 0 : random() | 1;
    }
    return samples;
}

// Each read starts up to eight samples early or late; reads can be made to fail.
class JitteryDrive final : public RawSectorSource {
public:
    explicit JitteryDrive(const std::vector<uint32_t>& disc) : disc_(disc) {}
    bool ReadRaw(int64_t first, int64_t sectors, uint8_t* out) override {
        ++reads;
        if (failing) return false;
        const int64_t shift = static_cast<int64_t>(random_() % 17) - 8;
        for (int64_t i = 0; i < sectors * kFrame; ++i) {
            const int64_t at = first * kFrame + i + shift;
            const uint32_t value = at >= 0 && at < static_cast<int64_t>(disc_.size()) ? disc_[size_t(at)] : 0;
            std::memcpy(out + i * 4, &value, 4);
        }
        return true;
    }
    bool failing = false;
    int reads = 0;

private:
    const std::vector<uint32_t>& disc_;
    std::mt19937 random_{7};
};

// The audio as a stream delivers it: off by `shift` samples from sample `from` on.
std::vector<uint8_t> Delivered(const std::vector<uint32_t>& disc, int64_t from, int64_t shift) {
    std::vector<uint8_t> bytes(disc.size() * 4);
    for (int64_t i = 0; i < static_cast<int64_t>(disc.size()); ++i) {
        const int64_t at = i < from ? i : i + shift;
        const uint32_t value = at >= 0 && at < static_cast<int64_t>(disc.size()) ? disc[size_t(at)] : 0;
        std::memcpy(bytes.data() + i * 4, &value, 4);
    }
    return bytes;
}

TEST(SilenceSeams, AStreamOffAfterASilenceIsFoundAndOneInPlaceIsLeft) {
    const auto disc = Disc(40, 12, 19, 1);  // seven silent sectors, as between two tracks
    JitteryDrive drive(disc);
    std::vector<uint8_t> scratch(25 * kFrame * 4);
    for (const int64_t shift : {6, -7, 1, 17}) {
        const auto off = Delivered(disc, 15 * kFrame, shift);
        const SeamVerdict verdict = CheckSilenceSeams(off, 0, 0, drive, scratch);
        EXPECT_TRUE(verdict.misplaced) << "shift " << shift;
        EXPECT_NEAR(verdict.firstWrongSample, 19 * kFrame - shift, 64) << "shift " << shift;
    }
    EXPECT_FALSE(CheckSilenceSeams(Delivered(disc, 0, 0), 0, 0, drive, scratch).misplaced);
    // The same audio seen from a later disc position and request.
    const auto in = Delivered(disc, 0, 0);
    EXPECT_FALSE(
        CheckSilenceSeams(std::span(in).subspan(5 * kFrame * 4), 5 * kFrame, 10 * kFrame, drive, scratch).misplaced);
}

TEST(SilenceSeams, WhatNoReadCanDecideIsLeftAsItIs) {
    std::vector<uint8_t> scratch(25 * kFrame * 4);
    // A silence longer than any single read.
    const auto longSilence = Disc(60, 10, 40, 2);
    JitteryDrive drive(longSilence);
    EXPECT_FALSE(CheckSilenceSeams(Delivered(longSilence, 20 * kFrame, 6), 0, 0, drive, scratch).misplaced);
    EXPECT_EQ(drive.reads, 0);
    // A drive whose reads fail.
    const auto disc = Disc(40, 12, 19, 3);
    JitteryDrive failing(disc);
    failing.failing = true;
    EXPECT_FALSE(CheckSilenceSeams(Delivered(disc, 15 * kFrame, 6), 0, 0, failing, scratch).misplaced);
    EXPECT_EQ(failing.reads, SeamLimits{}.reads);
    // A silence checked with an earlier request is not read again.
    JitteryDrive counted(disc);
    EXPECT_FALSE(CheckSilenceSeams(Delivered(disc, 0, 0), 0, 30 * kFrame, counted, scratch).misplaced);
    EXPECT_EQ(counted.reads, 0);
}

}  // namespace
}  // namespace akrip
