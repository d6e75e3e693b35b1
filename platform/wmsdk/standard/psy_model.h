// The psychoacoustic model: from a block's MDCT coefficients, the masking
// threshold of each partition of the spectrum (about a third of a critical
// band, at most 1/64 of the block), as the energy per coefficient that noise
// may have there without being heard. Maskers spread over neighbouring
// partitions (27 dB/Bark downwards, 15 dB/Bark upwards), tonal partitions
// mask 18 dB below their level and noise-like ones 6 dB (tonality from the
// spectral flatness), the threshold in quiet is a floor (full scale taken as
// 96 dB SPL), and the threshold rises at most 6 dB from one block to the
// next, so that noise does not spread ahead of an attack, and short blocks,
// whose bands are too wide to show where the mask dips next to a tone, start
// from the long block's threshold. Short blocks are also too short to tell a
// tone from noise: they keep the tonality the last long block found at their
// frequencies.
#ifndef CADRIX_WMSDK_STANDARD_PSY_MODEL_H
#define CADRIX_WMSDK_STANDARD_PSY_MODEL_H

#include <array>
#include <cstdint>
#include <vector>

#include "standard/stream_layout.h"

namespace wmsdk::standard {

struct Partition {
    uint16_t start = 0, end = 0;  // coefficients
    uint8_t band = 0;             // the exponent band it lies in
    float bark = 0;
    float quiet = 0;                        // threshold in quiet, energy per coefficient
    uint16_t spreadFrom = 0, spreadTo = 0;  // maskers within reach
};

// What the model remembers of one channel between blocks.
struct MaskHistory {
    static constexpr int kBins = 64;       // 344.5 Hz each
    std::array<float, kBins> threshold{};  // per coefficient, normalised to the block length
    std::array<float, kBins> tonality{};   // of the last long block
    bool valid = false;
};

class PsyModel {
public:
    // Partitions follow the exponent bands of `layout` (all five sizes).
    explicit PsyModel(const StreamLayout& layout);

    int PartitionCount(int sizeIndex) const { return static_cast<int>(partitions_[sizeIndex].size()); }
    const Partition& PartitionAt(int sizeIndex, int p) const { return partitions_[sizeIndex][p]; }

    // Masking threshold per coefficient of each partition of a block, and
    // when `tonality` is given, each partition's tonality (0 noise .. 1 tone).
    void Mask(int sizeIndex, const float* coefficients, MaskHistory& history, float* mask, float* tonality = nullptr);

private:
    void Build(int sizeIndex, const BlockLayout& block);

    std::array<std::vector<Partition>, kMaxBlockSizes> partitions_;
    std::array<std::vector<float>, kMaxBlockSizes> spread_;  // [p][q - spreadFrom], flattened
    std::array<std::vector<uint32_t>, kMaxBlockSizes> spreadAt_;
    std::array<std::vector<float>, kMaxBlockSizes> spreadNorm_;
    std::vector<float> energy_, tonality_;
};

}  // namespace wmsdk::standard

#endif
