// The 44-byte header of a WAVE file of CD audio (PCM, 2 channels, 44,100 Hz,
// 16 bits). The header is written first with data size 0 and rewritten over
// the same bytes at close with the size actually written.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>

namespace cadrix {

constexpr uint32_t WAVE_HEADER_BYTES = 44;

std::array<uint8_t, WAVE_HEADER_BYTES> BuildWaveHeader(uint32_t dataSize);

// Seeks `file` to offset 0 and writes the header with one fwrite of 1-byte
// items; true exactly when all 44 bytes were written.
bool WriteWaveHeader(std::FILE* file, uint32_t dataSize);

}  // namespace cadrix
