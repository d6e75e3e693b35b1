// Synthetic music-like test audio: 44.1 kHz 16-bit stereo PCM bytes.
#ifndef CADRIX_TESTS_WMA_TEST_AUDIO_H
#define CADRIX_TESTS_WMA_TEST_AUDIO_H

#include <cstddef>
#include <cstdint>
#include <vector>

// Notes with harmonics and decaying envelopes, a bass line and a little
// noise, different in each channel; the same seed gives the same bytes.
std::vector<uint8_t> MakeMusicPcm(size_t sampleFrames, uint32_t seed);

#endif
