#include "standard/psy_model.h"

#include <algorithm>
#include <cmath>

namespace wmsdk::standard {
namespace {

constexpr double kNyquist = kSampleRate / 2.0;
constexpr double kFullScaleSpl = 96.0;
constexpr double kFullScalePower = 32768.0 * 32768.0 / 2.0;  // of a full-scale sine, per sample
constexpr float kTonalOffsetDb = 18.0f;
constexpr float kNoiseOffsetDb = 6.0f;
constexpr float kLowerSlopeDb = 27.0f;  // per Bark, towards lower frequencies
constexpr float kUpperSlopeDb = 15.0f;  // per Bark, towards higher frequencies
constexpr float kSpreadFloorDb = -50.0f;
constexpr float kAttackRise = 4.0f;  // most a block's threshold may rise over the last one's
constexpr int kLongBlockMin = 1024;

double Bark(double hz) { return 13.0 * std::atan(0.00076 * hz) + 3.5 * std::atan((hz / 7500.0) * (hz / 7500.0)); }

// Threshold in quiet of a tone, dB SPL (Terhardt), held below 70 dB so that
// loud content at the top of the band is still coded.
double QuietDb(double hz) {
    const double k = std::max(hz, 20.0) / 1000.0;
    const double db = 3.64 * std::pow(k, -0.8) - 6.5 * std::exp(-0.6 * (k - 3.3) * (k - 3.3)) + 1e-3 * k * k * k * k;
    return std::min(db, 70.0);
}

double CriticalBandHz(double hz) { return 25.0 + 75.0 * std::pow(1.0 + 1.4 * (hz / 1000.0) * (hz / 1000.0), 0.69); }

float Tonality(const float* x, int count, float energy) {
    if (energy <= 0.0f) return 0.0f;
    double logSum = 0;
    const float floor = energy / count * 1e-6f + 1e-20f;
    for (int i = 0; i < count; ++i) logSum += std::log(x[i] * x[i] + floor);
    const double flatnessDb = 10.0 / std::log(10.0) * (logSum / count - std::log(energy / count));
    return static_cast<float>(std::clamp((-flatnessDb - 6.0) / 18.0, 0.0, 1.0));
}

}  // namespace

PsyModel::PsyModel(const StreamLayout& layout) {
    for (int k = 0; k < kMaxBlockSizes; ++k) Build(k, layout.blocks[k]);
    energy_.resize(kFrameLength);
    tonality_.resize(kFrameLength);
}

void PsyModel::Build(int sizeIndex, const BlockLayout& block) {
    const int n = block.length;
    const int widest = std::max(4, n / 64);
    std::vector<Partition>& parts = partitions_[sizeIndex];
    for (int band = 0, at = 0; band < block.bandCount; at += block.bandSizes[band++]) {
        const int size = block.bandSizes[band];
        const int pieces = (size + widest - 1) / widest;
        for (int i = 0; i < pieces; ++i) {
            Partition p;
            p.start = static_cast<uint16_t>(at + size * i / pieces);
            p.end = static_cast<uint16_t>(at + size * (i + 1) / pieces);
            p.band = static_cast<uint8_t>(band);
            const double hz = (p.start + p.end) / 2.0 * kNyquist / n;
            p.bark = static_cast<float>(Bark(hz));
            const double power = std::pow(10.0, (QuietDb(hz) - kFullScaleSpl) / 10.0) * kFullScalePower;
            const double bandCoefficients = std::max(1.0, CriticalBandHz(hz) * n / kNyquist);
            p.quiet = static_cast<float>(power * n * n / (2.0 * bandCoefficients));
            parts.push_back(p);
        }
    }
    const int count = static_cast<int>(parts.size());
    for (int p = 0; p < count; ++p) {
        auto gainDb = [&](int q) {
            const float dz = parts[p].bark - parts[q].bark;
            return dz >= 0 ? -kUpperSlopeDb * dz : kLowerSlopeDb * dz;
        };
        int from = p, to = p;
        while (from > 0 && gainDb(from - 1) > kSpreadFloorDb) --from;
        while (to + 1 < count && gainDb(to + 1) > kSpreadFloorDb) ++to;
        parts[p].spreadFrom = static_cast<uint16_t>(from);
        parts[p].spreadTo = static_cast<uint16_t>(to);
        spreadAt_[sizeIndex].push_back(static_cast<uint32_t>(spread_[sizeIndex].size()));
        double norm = 0;
        for (int q = from; q <= to; ++q) {
            const float g = std::pow(10.0f, gainDb(q) / 10.0f);
            spread_[sizeIndex].push_back(g);
            norm += g * (parts[q].end - parts[q].start);
        }
        spreadNorm_[sizeIndex].push_back(static_cast<float>(1.0 / norm));
    }
}

void PsyModel::Mask(int sizeIndex, const float* x, MaskHistory& history, float* mask, float* tonality) {
    const std::vector<Partition>& parts = partitions_[sizeIndex];
    const int count = static_cast<int>(parts.size());
    const int n = kFrameLength >> sizeIndex;
    for (int p = 0; p < count; ++p) {
        float e = 0;
        for (int i = parts[p].start; i < parts[p].end; ++i) e += x[i] * x[i];
        energy_[p] = e;
        tonality_[p] = Tonality(x + parts[p].start, parts[p].end - parts[p].start, e);
    }
    const bool longBlock = n >= kLongBlockMin;
    for (int p = 0; p < count; ++p) {
        const int bin = std::min(MaskHistory::kBins - 1,
                                 (parts[p].start + parts[p].end) * MaskHistory::kBins / (2 * n));
        if (longBlock) {
            history.tonality[bin] = tonality_[p];
        } else {
            tonality_[p] = std::max(tonality_[p], history.tonality[bin]);
        }
        if (tonality) tonality[p] = tonality_[p];
    }
    const float* spread = spread_[sizeIndex].data();
    for (int p = 0; p < count; ++p) {
        const Partition& part = parts[p];
        const float* g = spread + spreadAt_[sizeIndex][p];
        float spreadEnergy = 0;
        for (int q = part.spreadFrom; q <= part.spreadTo; ++q) spreadEnergy += energy_[q] * g[q - part.spreadFrom];
        const float offsetDb = tonality_[p] * kTonalOffsetDb + (1.0f - tonality_[p]) * kNoiseOffsetDb;
        float t = spreadEnergy * spreadNorm_[sizeIndex][p] * std::pow(10.0f, -offsetDb / 10.0f);
        const int bin = std::min(MaskHistory::kBins - 1, (part.start + part.end) * MaskHistory::kBins / (2 * n));
        if (history.valid) t = std::min(t, kAttackRise * history.threshold[bin] * n);
        mask[p] = std::max(t, part.quiet);
    }
    // Remember the thresholds per bin, normalised to the block length.
    history.threshold.fill(0.0f);
    for (int p = 0; p < count; ++p) {
        const int from = parts[p].start * MaskHistory::kBins / n;
        const int to = std::max(from + 1, parts[p].end * MaskHistory::kBins / n);
        for (int bin = from; bin < to && bin < MaskHistory::kBins; ++bin) {
            const float v = mask[p] / n;
            history.threshold[bin] = history.threshold[bin] == 0.0f ? v : std::min(history.threshold[bin], v);
        }
    }
    history.valid = true;
}

}  // namespace wmsdk::standard
