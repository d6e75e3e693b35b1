// Packs coded frames into superframes of the stream's fixed size, one ASF
// media object each: a 4-bit index, a 4-bit count (one more than the frames
// that start and end in it), the bit offset of the first frame that starts
// in it, the end of the frame begun in the superframe before, then frames
// back to back; the last frame runs on into the next superframe. So the
// count of frames a superframe ends, and with it the bit rate, follows the
// frames' sizes.
//
// A decoder reads the bits after a superframe's last whole frame as the
// start of the next frame, so a superframe can hold no padding but at the
// end of the stream. The packer keeps the rules that follow:
//  - every superframe ends at least one frame and at most 15;
//  - the bits a frame runs on into the next superframe fit the bit offset;
//  - frames that would break either rule are grown by filler (see
//    FrameWriter), and a frame is given a size limit where growing its
//    predecessor could not help.
#ifndef CADRIX_WMSDK_STANDARD_SUPERFRAME_PACKER_H
#define CADRIX_WMSDK_STANDARD_SUPERFRAME_PACKER_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "bit_writer.h"
#include "standard/frame_data.h"
#include "standard/frame_writer.h"
#include "stream_encoder.h"

namespace wmsdk::standard {

class SuperframePacker {
public:
    SuperframePacker(FrameWriter& writer, int blockAlign);

    // Most bits the next frame may have.
    size_t NextFrameLimit() const;
    // Fewest bits the next frame must have: when the superframe holds as
    // many whole frames as it may, the next one must run on.
    size_t NextFrameMinimum() const;
    // Frames smaller than this leave room that only filler can take: a
    // superframe ends at most 15 frames.
    size_t FloorFrameBits() const { return capacity_ / (kMaxWhole + 4); }
    // Places the next frame; superframes go to `sink` as they fill. False
    // when the sink refused one, or the frame could not be placed (it was
    // larger than NextFrameLimit()).
    bool Add(const FrameData& frame, EncodedFrameSink& sink);
    // Sends the last superframes, padded.
    bool Finish(EncodedFrameSink& sink);

    // Most bits a frame may run on by into the next superframe.
    size_t MaxRunOn() const { return maxCarry_ - 1; }
    // Superframes sent.
    uint64_t Superframes() const { return sent_; }

private:
    // The count field says one more than the whole frames that start in
    // the superframe.
    static constexpr int kMaxWhole = 14;
    static constexpr int kMaxPlaced = kMaxWhole + 1;
    // The first superframe ends just the two priming frames, which decoders
    // drop: they then drop whole output frames, whatever they know of time.
    int MaxWhole() const { return sent_ == 0 ? 2 : kMaxWhole; }

    struct Placed {
        FrameData frame;
        bool resetSizes = false;
        size_t bits = 0;
    };
    size_t Position() const;
    // Whether the superframe still ends a frame once its last placed frame
    // runs on into the next one.
    bool EndsAFrameWithoutLast() const { return placed_ > 0 && (carryBits_ > 0 || placed_ >= 2); }
    bool Emit(EncodedFrameSink& sink);
    MediaObjectTiming Timing(bool lastSpills) const;

    FrameWriter& writer_;
    const int blockAlign_;
    const int offsetBits_;
    const size_t capacity_;  // payload bits of a superframe
    const size_t maxCarry_;  // most bits a frame may run on by

    std::unique_ptr<std::array<Placed, kMaxPlaced>> slots_;
    int placed_ = 0;   // frames starting in the current superframe
    BitWriter carry_;  // the end of the frame begun in the superframe before
    size_t carryBits_ = 0;
    uint64_t carryFrame_ = 0;
    BitWriter frameBits_, superframe_;
    uint64_t sent_ = 0;
};

}  // namespace wmsdk::standard

#endif
