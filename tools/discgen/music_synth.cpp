#include "music_synth.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace cadrix::discgen {
namespace {

constexpr double kSampleRate = 44100.0;
constexpr int kTableBits = 12;
constexpr int kTableSize = 1 << kTableBits;
constexpr int kPhaseShift = 32 - kTableBits;

// One cycle of a waveform with the given harmonic amplitudes, peak 1.
std::vector<float> MakeTable(std::initializer_list<double> harmonics) {
    std::vector<double> wave(kTableSize, 0.0);
    int harmonic = 1;
    for (double amplitude : harmonics) {
        for (int i = 0; i < kTableSize; ++i) {
            // A small phase offset per harmonic keeps the peaks from lining up.
            wave[static_cast<size_t>(i)] += amplitude * std::sin(2.0 * std::numbers::pi * harmonic * i / kTableSize +
                                                                 0.7 * harmonic);
        }
        ++harmonic;
    }
    double peak = 0.0;
    for (double v : wave) {
        peak = std::max(peak, std::abs(v));
    }
    std::vector<float> table(kTableSize);
    for (int i = 0; i < kTableSize; ++i) {
        table[static_cast<size_t>(i)] = static_cast<float>(wave[static_cast<size_t>(i)] / peak);
    }
    return table;
}

const std::vector<float>& ChordTable() {
    static const std::vector<float> table = MakeTable({1.0, 0.45, 0.3, 0.12, 0.08, 0.05});
    return table;
}

const std::vector<float>& BassTable() {
    static const std::vector<float> table = MakeTable({1.0, 0.6, 0.15, 0.1});
    return table;
}

uint32_t PhaseStep(double frequency) { return static_cast<uint32_t>(frequency / kSampleRate * 4294967296.0); }

double NoteFrequency(int midiNote) { return 440.0 * std::pow(2.0, (midiNote - 69) / 12.0); }

// Semitones of the major scale; chords are triads built on its degrees.
constexpr std::array<int, 7> kScale = {0, 2, 4, 5, 7, 9, 11};

int ScaleNote(int degree) { return 12 * (degree / 7) + kScale[static_cast<size_t>(degree % 7)]; }

}  // namespace

MusicSynth::MusicSynth(uint64_t seed)
    : rng_(seed * 0x9E3779B97F4A7C15ULL + 0x632BE59BD9B4E019ULL),
      noise_(static_cast<uint32_t>(seed) * 2654435761U | 1U) {
    // Warm the generator so that neighbouring seeds diverge at once.
    for (int i = 0; i < 4; ++i) {
        NextRandom();
    }
    const uint32_t bpm = 84 + NextRandom() % 49;
    samplesPerBeat_ = static_cast<uint32_t>(kSampleRate * 60.0 / bpm);
    beatsPerChord_ = (NextRandom() % 2 == 0) ? 2 : 4;
    keyRoot_ = 45 + static_cast<int>(NextRandom() % 12);
    degree_ = 0;
}

uint32_t MusicSynth::NextRandom() {
    // splitmix64
    uint64_t z = (rng_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return static_cast<uint32_t>((z ^ (z >> 31)) >> 32);
}

void MusicSynth::StartChord() {
    // A wandering progression that favours the usual moves (I, IV, V, vi, ii).
    static constexpr std::array<int, 8> kMoves = {3, 4, 5, 1, 3, 4, 2, 6};
    if (sample_ != 0) {
        degree_ = (degree_ + kMoves[NextRandom() % kMoves.size()]) % 7;
    }
    const int chordRoot = keyRoot_ + 12 + ScaleNote(degree_);
    for (int v = 0; v < kVoices - 1; ++v) {
        const int note = keyRoot_ + 12 + ScaleNote(degree_ + 2 * v) + (v == 2 && NextRandom() % 3 == 0 ? 12 : 0);
        const double frequency = NoteFrequency(note);
        // Left and right oscillators are detuned a little: slow beating, stereo width.
        const double detune = 0.0008 + 0.0004 * (NextRandom() % 4);
        step_[static_cast<size_t>(2 * v)] = PhaseStep(frequency * (1.0 - detune));
        step_[static_cast<size_t>(2 * v + 1)] = PhaseStep(frequency * (1.0 + detune));
        const float pan = 0.2F + 0.6F * static_cast<float>(NextRandom() % 1000) / 1000.0F;
        const float loudness = 0.13F + 0.05F * static_cast<float>(NextRandom() % 100) / 100.0F;
        gain_[static_cast<size_t>(2 * v)] = loudness * (1.0F - pan);
        gain_[static_cast<size_t>(2 * v + 1)] = loudness * pan;
        envelope_[static_cast<size_t>(v)] = 1.0F;
        // Decay time constant between about 0.6 and 2.2 seconds.
        const double seconds = 0.6 + 1.6 * (NextRandom() % 1000) / 1000.0;
        decay_[static_cast<size_t>(v)] = static_cast<float>(std::exp(-1.0 / (seconds * kSampleRate)));
    }
    const int bass = kVoices - 1;
    const double bassFrequency = NoteFrequency(chordRoot - 24 + 12);
    step_[static_cast<size_t>(2 * bass)] = PhaseStep(bassFrequency);
    step_[static_cast<size_t>(2 * bass + 1)] = PhaseStep(bassFrequency * 1.0003);
    gain_[static_cast<size_t>(2 * bass)] = 0.2F;
    gain_[static_cast<size_t>(2 * bass + 1)] = 0.2F;
    decay_[static_cast<size_t>(bass)] = static_cast<float>(std::exp(-1.0 / (0.25 * kSampleRate)));
    nextChord_ = sample_ + static_cast<uint64_t>(samplesPerBeat_) * beatsPerChord_;
    nextBeat_ = sample_;
    attack_ = 1.0F;
}

void MusicSynth::StartBeat() {
    envelope_[kVoices - 1] = 1.0F;
    bassAttack_ = 1.0F;
    hat_ = 1.0F;
    nextBeat_ += samplesPerBeat_;
}

// xorshift32 noise: a burst on each beat over a faint floor.
float MusicSynth::NextNoise() {
    constexpr float kHatDecay = 0.9992F;  // noise burst of about 30 ms
    noise_ ^= noise_ << 13;
    noise_ ^= noise_ >> 17;
    noise_ ^= noise_ << 5;
    const float noise = (static_cast<float>(noise_ >> 8) * (1.0F / 8388608.0F) - 1.0F) * (0.002F + 0.035F * hat_);
    hat_ *= kHatDecay;
    return noise;
}

void MusicSynth::Render(std::span<int16_t> interleaved) {
    const float* chordTable = ChordTable().data();
    const float* bassTable = BassTable().data();
    constexpr float kAttack = 0.9985F;  // about 15 ms to full level
    constexpr float kScale16 = 40000.0F;
    size_t out = 0;
    const size_t total = interleaved.size() / 2;
    while (out < total) {
        if (sample_ == nextChord_) {
            StartChord();
        }
        if (sample_ == nextBeat_) StartBeat();
        const uint64_t until = std::min({nextChord_, nextBeat_, sample_ + (total - out)});
        const auto count = static_cast<size_t>(until - sample_);
        for (size_t i = 0; i < count; ++i) {
            float left = 0.0F;
            float right = 0.0F;
            const float rise = 1.0F - attack_;
            for (int v = 0; v < kVoices - 1; ++v) {
                const auto l = static_cast<size_t>(2 * v);
                const float level = envelope_[static_cast<size_t>(v)] * rise;
                left += chordTable[phase_[l] >> kPhaseShift] * gain_[l] * level;
                right += chordTable[phase_[l + 1] >> kPhaseShift] * gain_[l + 1] * level;
                phase_[l] += step_[l];
                phase_[l + 1] += step_[l + 1];
                envelope_[static_cast<size_t>(v)] *= decay_[static_cast<size_t>(v)];
            }
            {
                constexpr auto b = static_cast<size_t>(2 * (kVoices - 1));
                const float level = envelope_[kVoices - 1] * (1.0F - bassAttack_);
                left += bassTable[phase_[b] >> kPhaseShift] * gain_[b] * level;
                right += bassTable[phase_[b + 1] >> kPhaseShift] * gain_[b + 1] * level;
                phase_[b] += step_[b];
                phase_[b + 1] += step_[b + 1];
                envelope_[kVoices - 1] *= decay_[kVoices - 1];
            }
            attack_ *= kAttack;
            bassAttack_ *= kAttack;
            const float noise = NextNoise();
            left += noise;
            right -= noise * 0.7F;
            const auto toSample = [](float x) {
                const float scaled = std::clamp(x * kScale16, -32768.0F, 32767.0F);
                return static_cast<int16_t>(scaled >= 0.0F ? scaled + 0.5F : scaled - 0.5F);
            };
            interleaved[2 * out] = toSample(left);
            interleaved[2 * out + 1] = toSample(right);
            ++out;
        }
        sample_ = until;
    }
}

}  // namespace cadrix::discgen
