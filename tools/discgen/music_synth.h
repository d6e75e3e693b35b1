// Deterministic, music-like stereo audio for test discs: chords of a few
// detuned harmonic voices with envelopes, a bass line, a little noise on the
// beat. Fast (table look-ups and integer phases) so long discs stay cheap.
#ifndef CADRIX_DISCGEN_MUSIC_SYNTH_H
#define CADRIX_DISCGEN_MUSIC_SYNTH_H

#include <array>
#include <cstdint>
#include <span>

namespace cadrix::discgen {

class MusicSynth {
public:
    // Equal seeds give equal audio; the stream does not depend on how it is
    // split into Render calls.
    explicit MusicSynth(uint64_t seed);

    // Fills interleaved 16-bit stereo samples (left first), continuing the stream.
    void Render(std::span<int16_t> interleaved);

private:
    static constexpr int kVoices = 4;                 // three chord tones and the bass
    static constexpr int kOscillators = kVoices * 2;  // a left and a right oscillator each

    void StartChord();
    void StartBeat();
    float NextNoise();
    uint32_t NextRandom();

    uint64_t rng_;
    uint32_t noise_;
    uint64_t sample_ = 0;     // position in the stream, in stereo samples
    uint64_t nextChord_ = 0;  // where the next chord starts
    uint32_t samplesPerBeat_ = 0;
    uint32_t beatsPerChord_ = 0;
    int keyRoot_ = 0;  // MIDI note of the key's tonic
    int degree_ = 0;   // the current chord's scale degree
    std::array<uint32_t, kOscillators> phase_{};
    std::array<uint32_t, kOscillators> step_{};
    std::array<float, kOscillators> gain_{};  // voice loudness and stereo placement
    std::array<float, kVoices> envelope_{};
    std::array<float, kVoices> decay_{};
    float hat_ = 0.0F;     // envelope of the noise burst on each beat
    float attack_ = 1.0F;  // falls to 0 as a chord swells in
    float bassAttack_ = 1.0F;
    uint64_t nextBeat_ = 0;
};

}  // namespace cadrix::discgen

#endif
