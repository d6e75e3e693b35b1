#include "output/replay_gain.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace cadrix {

namespace {

constexpr double kRate = 44100.0;
constexpr uint32_t kSegmentFrames = 4410;  // 100 ms; a block is four of them
constexpr double kAbsoluteGate = -70.0;
constexpr double kRelativeGate = -10.0;

double Loudness(double meanSquare) { return -0.691 + 10.0 * std::log10(meanSquare); }

// The two stages of the K-weighting at 44.1 kHz, derived from the analogue
// prototypes of BS.1770 (as libebur128 does for any rate).
std::array<std::array<double, 3>, 4> KWeighting() {
    const double pi = std::numbers::pi;
    double f0 = 1681.974450955533, gain = 3.999843853973347, q = 0.7071752369554196;
    double k = std::tan(pi * f0 / kRate);
    const double vh = std::pow(10.0, gain / 20.0);
    const double vb = std::pow(vh, 0.4996667741545416);
    double a0 = 1.0 + k / q + k * k;
    const std::array<double, 3> shelfB{(vh + vb * k / q + k * k) / a0, 2.0 * (k * k - vh) / a0,
                                       (vh - vb * k / q + k * k) / a0};
    const std::array<double, 3> shelfA{1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
    f0 = 38.13547087602444;
    q = 0.5003270373238773;
    k = std::tan(pi * f0 / kRate);
    a0 = 1.0 + k / q + k * k;
    const std::array<double, 3> highB{1.0, -2.0, 1.0};
    const std::array<double, 3> highA{1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
    return {shelfB, shelfA, highB, highA};
}

}  // namespace

std::string FormatGain(double gain) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f dB", gain);
    return text;
}

std::string FormatPeak(double peak) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", peak);
    return text;
}

double TrackLoudness::Biquad::Run(double x) {
    // Transposed direct form II.
    const double y = b[0] * x + z[0];
    z[0] = b[1] * x - a[1] * y + z[1];
    z[1] = b[2] * x - a[2] * y;
    return y;
}

void TrackLoudness::Begin(uint64_t frames) {
    static const std::array<std::array<double, 3>, 4> weights = KWeighting();
    for (auto& channel : filters_) {
        channel[0] = {weights[0], weights[1], {}};
        channel[1] = {weights[2], weights[3], {}};
    }
    segments_ = {};
    segmentsDone_ = 0;
    sum_ = 0.0;
    inSegment_ = 0;
    peak_ = 0.0;
    blocks_.clear();
    blocks_.reserve(static_cast<size_t>(frames / kSegmentFrames + 1));
}

void TrackLoudness::EndSegment() {
    segments_[segmentsDone_ % segments_.size()] = sum_;
    ++segmentsDone_;
    sum_ = 0.0;
    inSegment_ = 0;
    if (segmentsDone_ >= segments_.size()) {
        const double total = segments_[0] + segments_[1] + segments_[2] + segments_[3];
        blocks_.push_back(total / (4.0 * kSegmentFrames));
    }
}

void TrackLoudness::Add(std::span<const uint8_t> pcm) {
    int32_t largest = 0;
    for (size_t at = 0; at + 4 <= pcm.size(); at += 4) {
        const auto left = static_cast<int16_t>(pcm[at] | (pcm[at + 1] << 8));
        const auto right = static_cast<int16_t>(pcm[at + 2] | (pcm[at + 3] << 8));
        largest = std::max({largest, std::abs(int32_t{left}), std::abs(int32_t{right})});
        const double l = filters_[0][1].Run(filters_[0][0].Run(left / 32768.0));
        const double r = filters_[1][1].Run(filters_[1][0].Run(right / 32768.0));
        sum_ += l * l + r * r;
        if (++inSegment_ == kSegmentFrames) EndSegment();
    }
    peak_ = std::max(peak_, largest / 32768.0);
}

std::optional<GainResult> TrackLoudness::Result() const { return GatedResult(blocks_, peak_); }

std::optional<GainResult> GatedResult(std::span<const double> blocks, double peak) {
    const double absolute = std::pow(10.0, (kAbsoluteGate + 0.691) / 10.0);
    double sum = 0.0;
    size_t count = 0;
    for (double energy : blocks) {
        if (energy > absolute) {
            sum += energy;
            ++count;
        }
    }
    if (count == 0) return std::nullopt;
    const double relative = std::max(absolute, sum / static_cast<double>(count) * std::pow(10.0, kRelativeGate / 10.0));
    sum = 0.0;
    count = 0;
    for (double energy : blocks) {
        if (energy > relative) {
            sum += energy;
            ++count;
        }
    }
    if (count == 0) return std::nullopt;
    GainResult result;
    result.loudness = Loudness(sum / static_cast<double>(count));
    result.gain = REPLAYGAIN_REFERENCE_LUFS - result.loudness;
    result.peak = peak;
    return result;
}

void AlbumLoudness::AddTrack(const TrackLoudness& track) {
    blocks_.insert(blocks_.end(), track.Blocks().begin(), track.Blocks().end());
    peak_ = std::max(peak_, track.Peak());
}

std::optional<GainResult> AlbumLoudness::Result() const { return GatedResult(blocks_, peak_); }

void AlbumLoudness::Clear() {
    blocks_.clear();
    peak_ = 0.0;
}

}  // namespace cadrix
