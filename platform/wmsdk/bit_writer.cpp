#include "bit_writer.h"

namespace wmsdk {

void BitWriter::Append(std::span<const uint8_t> source, size_t from, size_t bits) {
    // From a byte boundary, whole 32-bit words at a time.
    if (from % 8 == 0) {
        for (const uint8_t* p = source.data() + from / 8; bits >= 32; bits -= 32, from += 32, p += 4)
            Put((uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3], 32);
    }
    while (bits > 0) {
        const int n = bits >= 32 ? 32 : static_cast<int>(bits);
        const size_t byte = from / 8;
        const int skip = static_cast<int>(from % 8);
        // Five bytes cover 32 bits at any bit offset.
        uint64_t window = 0;
        for (size_t i = 0; i < 5; ++i) window = (window << 8) | (byte + i < source.size() ? source[byte + i] : 0u);
        const uint64_t mask = (uint64_t{1} << n) - 1;
        Put(static_cast<uint32_t>((window >> (40 - skip - n)) & mask), n);
        from += static_cast<size_t>(n);
        bits -= static_cast<size_t>(n);
    }
}

std::span<const uint8_t> BitWriter::Bytes() {
    const size_t bytes = pos_ + static_cast<size_t>((fill_ + 7) / 8);
    if (bytes + 4 > buffer_.size()) buffer_.resize(bytes + 4);
    uint64_t pending = fill_ > 0 ? acc_ << (64 - fill_) : 0;
    for (size_t i = pos_; i < bytes; ++i, pending <<= 8) buffer_[i] = static_cast<uint8_t>(pending >> 56);
    return {buffer_.data(), bytes};
}

}  // namespace wmsdk
