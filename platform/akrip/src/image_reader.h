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

// The 2048 user bytes of data sector `lsn` (MODE1, or MODE2 form 1 for raw
// sectors); false when `lsn` is no data-track sector or the read failed.
bool ReadImageDataSector(const DiscImage& image, int64_t lsn, uint8_t* out);

// The whole 2352-byte data sector `lsn` as the disc carries it: what a raw
// image stores, or the sector built around what a cooked image stores (see
// data_sectors.h); false when `lsn` is no data-track sector or the read failed.
bool ReadImageRawSector(const DiscImage& image, int64_t lsn, uint8_t* out);

}  // namespace akrip
