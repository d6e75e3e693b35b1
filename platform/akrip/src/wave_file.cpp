#include "wave_file.h"

#include <array>

namespace akrip {
namespace {

uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

constexpr int kMaxChunks = 4096;

}  // namespace

std::optional<WavePayload> FindWavePayload(const ReadAtFunction& readAt, uint64_t fileSize) {
    std::array<uint8_t, 12> riff{};
    if (fileSize < riff.size() || !readAt(0, riff)) return std::nullopt;
    if (Le32(riff.data()) != 0x46464952u || Le32(riff.data() + 8) != 0x45564157u) return std::nullopt;

    bool formatOk = false;
    uint64_t position = 12;
    for (int chunk = 0; chunk < kMaxChunks && position + 8 <= fileSize; ++chunk) {
        std::array<uint8_t, 8> header{};
        if (!readAt(position, header)) return std::nullopt;
        const uint32_t id = Le32(header.data());
        const uint64_t size = Le32(header.data() + 4);
        const uint64_t body = position + 8;
        if (id == 0x20746D66u) {  // "fmt "
            std::array<uint8_t, 26> format{};
            if (size < 16 || body + 16 > fileSize) return std::nullopt;
            const size_t wanted = size >= format.size() ? format.size() : 16;
            if (body + wanted > fileSize || !readAt(body, std::span(format).first(wanted))) {
                return std::nullopt;
            }
            uint16_t tag = Le16(format.data());
            if (tag == 0xFFFE && wanted == format.size()) tag = Le16(format.data() + 24);
            formatOk = tag == 1 && Le16(format.data() + 2) == 2 && Le32(format.data() + 4) == 44100 &&
                       Le16(format.data() + 12) == 4 && Le16(format.data() + 14) == 16;
            if (!formatOk) return std::nullopt;
        } else if (id == 0x61746164u) {  // "data"
            if (!formatOk || size > fileSize - body) return std::nullopt;
            return WavePayload{body, size};
        }
        position = body + size + (size & 1);
    }
    return std::nullopt;
}

}  // namespace akrip
