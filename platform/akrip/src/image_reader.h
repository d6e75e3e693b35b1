// Reading the audio sectors of a laid-out disc image.
#pragma once

#include <cstdint>

#include "disc_image.h"

namespace akrip {

// How many of the `frames` sectors from `lsn` on are readable audio without
// a break (0 when `lsn` itself is not).
uint32_t ReadableImageFrames(const DiscImage& image, int64_t lsn, uint32_t frames);

// Reads `frames` sectors of audio from `lsn` into `out` (frames x 2352 bytes)
// as 16-bit little-endian samples; silence for pregaps and postgaps. The
// range must be readable. False on a read error (e.g. a file shortened since
// it was laid out).
bool ReadImageAudio(const DiscImage& image, int64_t lsn, uint32_t frames, uint8_t* out);

}  // namespace akrip
