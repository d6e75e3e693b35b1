// ReplayGain 2.0 from the PCM of a rip: EBU R128 integrated loudness (ITU-R
// BS.1770 K-weighting, 400 ms blocks every 100 ms, gated at -70 LUFS and
// 10 LU below the ungated mean) against a reference of -18 LUFS, and the
// sample peak (not the true peak) as a fraction of full scale.
// One TrackLoudness measures one track; an album's value pools the gating
// blocks of all its tracks, as if measured in one go.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace cadrix {

constexpr double REPLAYGAIN_REFERENCE_LUFS = -18.0;

struct GainResult {
    double loudness = 0.0;  // LUFS
    double gain = 0.0;      // dB to bring it to the reference
    double peak = 0.0;      // largest |sample| / 32768
};

// The tag texts: gain as "-6.52 dB", peak as "0.988525".
std::string FormatGain(double gain);
std::string FormatPeak(double peak);

class TrackLoudness {
public:
    // Starts a track of about `frames` stereo frames (44.1 kHz); the block
    // store is sized for it once, so Add allocates nothing for such a track.
    void Begin(uint64_t frames);
    // 16-bit little-endian stereo PCM; a trailing partial frame is ignored.
    void Add(std::span<const uint8_t> pcm);
    // The track's values; none when it holds no block above the gates (silence
    // or shorter than 400 ms).
    std::optional<GainResult> Result() const;

    // The mean-square energies of the track's 400 ms blocks and its peak,
    // pooled by AlbumLoudness.
    const std::vector<double>& Blocks() const { return blocks_; }
    double Peak() const { return peak_; }

private:
    struct Biquad {
        std::array<double, 3> b{}, a{};
        std::array<double, 2> z{};
        double Run(double x);
    };
    void EndSegment();

    std::array<std::array<Biquad, 2>, 2> filters_{};  // per channel: shelf, then high-pass
    std::array<double, 4> segments_{};                // the last four 100 ms sums of squares
    uint64_t segmentsDone_ = 0;
    double sum_ = 0.0;
    uint32_t inSegment_ = 0;
    double peak_ = 0.0;
    std::vector<double> blocks_;
};

class AlbumLoudness {
public:
    void AddTrack(const TrackLoudness& track);
    std::optional<GainResult> Result() const;
    void Clear();

private:
    std::vector<double> blocks_;
    double peak_ = 0.0;
};

// Integrated loudness and gain of pooled block energies.
std::optional<GainResult> GatedResult(std::span<const double> blocks, double peak);

}  // namespace cadrix
