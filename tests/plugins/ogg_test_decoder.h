// Reads an Ogg Vorbis file back with libvorbisfile: stream layout, comments
// and every decoded sample.
#ifndef CADRIX_TESTS_OGG_TEST_DECODER_H
#define CADRIX_TESTS_OGG_TEST_DECODER_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct DecodedOgg {
    bool ok = false;                                   // opened, one stream of 44.1 kHz stereo, decoded without error
    int64_t pcmTotal = -1;                             // samples per channel the last granule position states
    std::multimap<std::string, std::string> comments;  // names upper-cased
    std::vector<float> left, right;
};

DecodedOgg DecodeOgg(const std::string& path);

// Signal-to-noise ratio in dB of decoded audio against 16-bit stereo PCM
// bytes, sample for sample over the first `frames` frames from `first`.
double SnrDb(const std::vector<uint8_t>& pcm, const DecodedOgg& decoded, size_t first, size_t frames);

#endif
