// Writes bit fields most significant bit first into a growing byte buffer.
// The buffer keeps its capacity across Reset, so a writer reused frame after
// frame stops allocating once it has seen the largest frame.
#ifndef CADRIX_WMSDK_BIT_WRITER_H
#define CADRIX_WMSDK_BIT_WRITER_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace wmsdk {

class BitWriter {
public:
    void Reset() {
        pos_ = 0;
        acc_ = 0;
        fill_ = 0;
    }
    // `value` holds `bits` (0..32) low bits; higher bits must be 0.
    void Put(uint32_t value, int bits) {
        acc_ = (acc_ << bits) | value;
        fill_ += bits;
        if (fill_ >= 32) {
            fill_ -= 32;
            Store(static_cast<uint32_t>(acc_ >> fill_));
        }
    }
    void PutSigned(int32_t value, int bits) {
        Put(static_cast<uint32_t>(value) & (bits == 32 ? ~0u : (1u << bits) - 1), bits);
    }
    // Appends `bits` bits of `source` from bit `from` on (most significant
    // bit of each byte first).
    void Append(std::span<const uint8_t> source, size_t from, size_t bits);

    size_t Bits() const { return pos_ * 8 + static_cast<size_t>(fill_); }
    // The bits written so far, the last byte padded with zero bits.
    std::span<const uint8_t> Bytes();

private:
    void Store(uint32_t word) {
        if (pos_ + 4 > buffer_.size()) buffer_.resize(buffer_.size() * 2 + 4096);
        uint8_t* p = buffer_.data() + pos_;
        p[0] = static_cast<uint8_t>(word >> 24);
        p[1] = static_cast<uint8_t>(word >> 16);
        p[2] = static_cast<uint8_t>(word >> 8);
        p[3] = static_cast<uint8_t>(word);
        pos_ += 4;
    }

    std::vector<uint8_t> buffer_;
    size_t pos_ = 0;    // whole bytes stored
    uint64_t acc_ = 0;  // the low `fill_` bits are pending
    int fill_ = 0;
};

}  // namespace wmsdk

#endif
