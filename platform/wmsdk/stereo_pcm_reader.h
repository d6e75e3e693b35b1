// Splits 16-bit little-endian stereo PCM bytes, delivered in blocks of any
// length, into runs of whole sample frames; a sample frame split between two
// blocks is kept until the rest arrives.
#ifndef CADRIX_WMSDK_STEREO_PCM_READER_H
#define CADRIX_WMSDK_STEREO_PCM_READER_H

#include <cstddef>
#include <cstdint>
#include <span>

namespace wmsdk {

inline int16_t PcmSample(const uint8_t* p) { return static_cast<int16_t>(p[0] | (p[1] << 8)); }

class StereoPcmReader {
public:
    static constexpr size_t kFrameBytes = 4;

    // Calls take(frames, count) for each run of `count` whole sample frames
    // (left sample first); false as soon as a call returns false.
    template <class Take>
    bool Feed(std::span<const uint8_t> pcm, Take&& take) {
        size_t i = 0;
        if (carried_ > 0) {
            while (carried_ < kFrameBytes && i < pcm.size()) carry_[carried_++] = pcm[i++];
            if (carried_ < kFrameBytes) return true;
            carried_ = 0;
            if (!take(static_cast<const uint8_t*>(carry_), size_t{1})) return false;
        }
        const size_t whole = (pcm.size() - i) / kFrameBytes;
        if (whole > 0 && !take(pcm.data() + i, whole)) return false;
        for (i += whole * kFrameBytes; i < pcm.size();) carry_[carried_++] = pcm[i++];
        return true;
    }
    // Forgets a partial sample frame: it cannot be encoded.
    void DropPartial() { carried_ = 0; }

private:
    uint8_t carry_[kFrameBytes] = {};
    size_t carried_ = 0;
};

}  // namespace wmsdk

#endif
