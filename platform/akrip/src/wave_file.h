// Locating the samples of a RIFF WAVE file.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

namespace akrip {

// Reads exactly out.size() bytes at `offset`; false if it cannot.
using ReadAtFunction = std::function<bool(uint64_t offset, std::span<uint8_t> out)>;

struct WavePayload {
    uint64_t offset = 0;  // first byte of the "data" chunk's contents
    uint64_t bytes = 0;
};

// Walks the RIFF chunks of a WAVE file of `fileSize` bytes. Accepts only CD
// audio (PCM, 2 channels, 44,100 Hz, 16 bits), plain or WAVE_FORMAT_EXTENSIBLE.
// A data chunk that claims more bytes than the file holds is a truncated
// file: nothing is returned.
std::optional<WavePayload> FindWavePayload(const ReadAtFunction& readAt, uint64_t fileSize);

}  // namespace akrip
