// The front cover as FLAC stores it: the body of a PICTURE metadata block,
// which Ogg Vorbis carries base64-encoded in a METADATA_BLOCK_PICTURE comment.
#ifndef CADRIX_PICTURE_BLOCK_H
#define CADRIX_PICTURE_BLOCK_H

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "cadrix_plugin.h"

// Picture type 3 (front cover), the MIME type, no description, the
// dimensions, 24 bits per pixel, no palette, and the image bytes. Empty when
// `extras` has no picture or no MIME type.
std::vector<uint8_t> FlacPictureBody(const OutputTrackExtras& extras);

// Standard base64 with padding.
std::string Base64(std::span<const uint8_t> bytes);

#endif
