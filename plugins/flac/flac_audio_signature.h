// The MD5 signature of the audio of a FLAC file, computed by decoding it.
// STREAMINFO's signature covers the 16-bit samples as little-endian
// interleaved bytes; a file cut back after a failed write needs the one of
// the samples that are left, which the encoder never computed.
#ifndef CADRIX_FLAC_AUDIO_SIGNATURE_H
#define CADRIX_FLAC_AUDIO_SIGNATURE_H

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// The signature of every sample of the 16-bit stereo FLAC file at `path`;
// none when it cannot be read or decoded to its end.
std::optional<std::array<uint8_t, 16>> DecodedAudioSignature(const std::string& path);

#endif
