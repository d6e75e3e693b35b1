// Reads a FLAC file back with libFLAC's decoder: STREAMINFO, Vorbis comments,
// seek table, padding and every sample, with the MD5 signature checked.
#ifndef CADRIX_TESTS_FLAC_TEST_DECODER_H
#define CADRIX_TESTS_FLAC_TEST_DECODER_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct DecodedFlac {
    bool ok = false;  // decoded to the end without error, 44.1 kHz 16-bit stereo, MD5 signature matched
    uint64_t totalSamples = 0;  // as STREAMINFO states
    bool md5Set = false;        // STREAMINFO's signature is not the all-zero "unknown"
    std::multimap<std::string, std::string> comments;
    std::vector<uint64_t> seekSamples;  // sample numbers of the seek points
    uint32_t paddingBytes = 0;
    std::vector<uint8_t> pcm;  // 16-bit little-endian interleaved, as the host delivered it
};

DecodedFlac DecodeFlac(const std::string& path);

#endif
