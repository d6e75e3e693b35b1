// The texts the output formats give the dialog: the disk-space estimate and
// the quality tooltip.
#include <gtest/gtest.h>

#include <string>

#include "output/output_format.h"
#include "output/quality_tip.h"
#include "output/space_estimate.h"

namespace cadrix {
namespace {

TEST(SpaceEstimate, ExamplesOfTheEstimateLine) {
    const QualityPositions q = DefaultQualityPositions();  // 50, 5, 3
    EXPECT_EQ(EstimatedTrackBytes(FORMAT_PCM, q, 180000), 31752000u);
    EXPECT_EQ(SpaceEstimateText(FORMAT_PCM, 31752000), "Disk Space Required: 30Mb");
    EXPECT_EQ(EstimatedTrackBytes(FORMAT_OGG, q, 60000), 960000u);
    EXPECT_EQ(SpaceEstimateText(FORMAT_OGG, 960000), "Disk Space Required: 1Mb [Estimated]");
    EXPECT_EQ(EstimatedTrackBytes(FORMAT_WMA, q, 60000), 960000u);
    EXPECT_EQ(SpaceEstimateText(FORMAT_WMA, 960000), "Disk Space Required: 1Mb");
    EXPECT_EQ(EstimatedTrackBytes(FORMAT_WMA_LOSSLESS, q, 60000), 6750000u);
    EXPECT_EQ(SpaceEstimateText(FORMAT_WMA_LOSSLESS, 6750000), "Disk Space Required: 6Mb [Estimated]");
    EXPECT_EQ(EstimatedTrackBytes(FORMAT_WMA_VBR, q, 60000), 160u * 60000 / 8);
    EXPECT_EQ(SpaceEstimateText(FORMAT_WMA_VBR, 1200000), "Disk Space Required: 1Mb [Estimated]");
    // Half a MiB counted from whole KiB rounds up, one byte less does not.
    EXPECT_EQ(SpaceEstimateText(FORMAT_PCM, 524287), "Disk Space Required: 0Mb");
    EXPECT_EQ(SpaceEstimateText(FORMAT_PCM, 524288), "Disk Space Required: 1Mb");
    // Zero is never marked as estimated.
    for (int32_t f = 0; f <= 4; ++f) EXPECT_EQ(SpaceEstimateText(f, 0), "Disk Space Required: 0Mb");
    // A 45-minute track does not wrap around.
    EXPECT_EQ(SpaceEstimateText(FORMAT_PCM, EstimatedTrackBytes(FORMAT_PCM, q, 45 * 60000)),
              "Disk Space Required: 454Mb");
}

TEST(SpaceEstimate, OggRatesBlendBetweenTableEntries) {
    EXPECT_EQ(OggRateKbps(0), 48u);
    EXPECT_EQ(OggRateKbps(50), 128u);
    EXPECT_EQ(OggRateKbps(55), 144u);
    EXPECT_EQ(OggRateKbps(105), 410u);
    EXPECT_EQ(OggRateKbps(110), 500u);
    EXPECT_EQ(OggRateKbps(1), (48u * 9 + 64u) / 10);
    QualityPositions q = DefaultQualityPositions();
    q[FORMAT_OGG] = 105;
    EXPECT_EQ(EstimatedTrackBytes(FORMAT_OGG, q, 8000), 410u * 1000);
    q[FORMAT_WMA] = 9;
    q[FORMAT_WMA_VBR] = 0;
    EXPECT_EQ(EstimatedTrackBytes(FORMAT_WMA, q, 8), 320u);
    EXPECT_EQ(EstimatedTrackBytes(FORMAT_WMA_VBR, q, 8), 64u);
}

TEST(QualityTip, TextsForEveryFormat) {
    EXPECT_EQ(QualityTipText(FORMAT_PCM, 0, "x"), "Uncompressed");
    EXPECT_EQ(QualityTipText(FORMAT_WMA_LOSSLESS, 0, "x"), "Lossless");
    const std::pair<int, const char*> ogg[] = {{0, "-0.10"}, {5, "-0.05"}, {9, "-0.01"},  {10, "0.00"},
                                               {45, "0.35"}, {60, "0.50"}, {110, "1.00"}, {19, "0.09"}};
    for (const auto& [position, value] : ogg) {
        EXPECT_EQ(QualityTipText(FORMAT_OGG, position, ""), std::string("Quality: ") + value);
    }
    const int rates[] = {32, 48, 64, 80, 96, 128, 160, 192, 256, 320};
    for (int p = 0; p < 10; ++p) {
        EXPECT_EQ(QualityTipText(FORMAT_WMA, p, ""), "Bitrate: " + std::to_string(rates[p]) + "kbps");
    }
    EXPECT_EQ(QualityTipText(FORMAT_WMA, 10, "kept"), "kept");
    for (int p = 0; p <= 5; ++p) EXPECT_EQ(QualityTipText(FORMAT_WMA_VBR, p, ""), "Quality: " + std::to_string(p));
    EXPECT_EQ(QualityTipText(7, 3, "kept"), "kept");
}

}  // namespace
}  // namespace cadrix
