#include "output/wave_writer.h"

#include <cstring>

namespace cadrix {

namespace {

void PutTag(uint8_t* at, const char (&tag)[5]) { std::memcpy(at, tag, 4); }

void PutLE16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void PutLE32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

std::array<uint8_t, WAVE_HEADER_BYTES> BuildWaveHeader(uint32_t dataSize) {
    std::array<uint8_t, WAVE_HEADER_BYTES> header{};
    uint8_t* h = header.data();
    PutTag(h + 0, "RIFF");
    PutLE32(h + 4, dataSize + 36);
    PutTag(h + 8, "WAVE");
    PutTag(h + 12, "fmt ");
    PutLE32(h + 16, 16);
    PutLE16(h + 20, 1);       // PCM
    PutLE16(h + 22, 2);       // channels
    PutLE32(h + 24, 44100);   // sample rate
    PutLE32(h + 28, 176400);  // bytes per second
    PutLE16(h + 32, 4);       // block alignment
    PutLE16(h + 34, 16);      // bits per sample
    PutTag(h + 36, "data");
    PutLE32(h + 40, dataSize);
    return header;
}

bool WriteWaveHeader(std::FILE* file, uint32_t dataSize) {
    if (file == nullptr) return false;
    const auto header = BuildWaveHeader(dataSize);
    if (std::fseek(file, 0, SEEK_SET) != 0) return false;
    return std::fwrite(header.data(), 1, header.size(), file) == header.size();
}

}  // namespace cadrix
