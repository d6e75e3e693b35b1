#include "wma_test_audio.h"

#include <algorithm>
#include <cmath>

std::vector<uint8_t> MakeMusicPcm(size_t sampleFrames, uint32_t seed) {
    constexpr double kRate = 44100.0;
    constexpr double kTwoPi = 6.283185307179586;
    constexpr double kScale[] = {261.63, 293.66, 329.63, 392.00, 440.00, 523.25, 587.33, 659.25};
    uint32_t state = seed * 2654435761u + 1;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state;
    };
    std::vector<uint8_t> pcm(sampleFrames * 4);
    const size_t noteLength = static_cast<size_t>(kRate / 4);
    double melody = kScale[0], bass = kScale[0] / 4;
    for (size_t i = 0; i < sampleFrames; ++i) {
        if (i % noteLength == 0) {
            melody = kScale[next() % 8] * ((next() & 1) ? 1.0 : 0.5);
            if (i % (noteLength * 4) == 0) bass = kScale[next() % 4] / 4;
        }
        const double t = static_cast<double>(i) / kRate;
        const double sinceNote = static_cast<double>(i % noteLength) / kRate;
        const double envelope = std::exp(-sinceNote * 6.0);
        double lead = 0;
        for (int h = 1; h <= 6; ++h) lead += std::sin(kTwoPi * melody * h * t) / (h * h);
        const double low = std::sin(kTwoPi * bass * t) + 0.3 * std::sin(kTwoPi * bass * 2 * t);
        const double noise = (static_cast<double>(next() % 2001) - 1000.0) / 1000.0;
        // A short noise burst on every note, like a hi-hat: broadband content.
        const double hat = 0.08 * std::exp(-sinceNote * 40.0) * noise;
        const double left = 0.30 * envelope * lead + 0.20 * low + hat;
        const double right = 0.22 * envelope * lead + 0.25 * low - hat;
        const auto put = [&](size_t at, double v) {
            const auto s = static_cast<int16_t>(std::clamp(v, -1.0, 1.0) * 32767.0);
            pcm[at] = static_cast<uint8_t>(s & 0xFF);
            pcm[at + 1] = static_cast<uint8_t>((s >> 8) & 0xFF);
        };
        put(i * 4, left);
        put(i * 4 + 2, right);
    }
    return pcm;
}
