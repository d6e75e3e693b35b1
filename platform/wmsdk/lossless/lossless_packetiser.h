// Packs WMA Lossless frames into packets of exactly block_align bytes, each
// one ASF media object. A packet starts with a 4-bit sequence number, a
// "seekable frame in packet" bit, a splice bit and the number of bits at its
// start that finish a frame begun in an earlier packet; frames follow back to
// back and may run on into the next packet.
//
// A decoder finds frame ends only by parsing, so each frame ends with a
// trailer bit: 1 when another frame starts later in the packet this frame
// started in, 0 otherwise (and on the last frame). The last frame is only
// known at Finish, so every frame is held until the next one arrives.
//
// When the sink refuses a packet, the packet before it (the last one kept)
// is rewritten to end the stream: the frame cut by the refused packet is
// zeroed out and the last whole frame becomes the last frame.
#ifndef CADRIX_WMSDK_LOSSLESS_PACKETISER_H
#define CADRIX_WMSDK_LOSSLESS_PACKETISER_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "bit_writer.h"
#include "stream_encoder.h"

namespace wmsdk::lossless {

class Packetiser {
public:
    static constexpr int kPacketBytes = 13375;
    // floor(log2(13375)) + 4 bits of "bits of the previous frame".
    static constexpr int kPrevBitsWidth = 17;
    static constexpr size_t kHeaderBits = 4 + 1 + 1 + kPrevBitsWidth;
    static constexpr size_t kPayloadBits = size_t{kPacketBytes} * 8 - kHeaderBits;

    // Would a frame added now be the first to start in its packet?
    bool NextFrameStartsPacket() const;

    // Takes a frame's bits (without the trailer bit), its first sample and
    // how many samples it gives out; commits the frame before it. False when
    // the sink refused a packet.
    bool AddFrame(std::span<const uint8_t> bits, size_t count, bool seekable, uint64_t firstSample, uint32_t samples,
                  EncodedFrameSink& sink);
    // Commits the last frame and sends the last packet.
    bool Finish(EncodedFrameSink& sink);

private:
    // Where frames end in a packet.
    struct Ends {
        size_t lastEnd = 0;            // payload bits up to the end of the last frame ending here
        bool lastStartedHere = false;  // that frame's trailer bit is in this packet
        bool wholeFrameHere = false;   // a frame starts and ends here
        uint64_t completeSamples = 0;  // samples given out by the frames ending here or before
    };

    bool Commit(bool last, EncodedFrameSink& sink);
    bool Emit(bool final, EncodedFrameSink& sink);
    void EndStreamAtPrevious(EncodedFrameSink& sink);

    // The frame held back until the next one shows it is not the last.
    BitWriter pending_;
    size_t pendingBits_ = 0;
    bool pendingSeekable_ = false;
    uint64_t pendingSample_ = 0;
    uint32_t pendingSamples_ = 0;
    bool havePending_ = false;

    // The packet being filled.
    BitWriter payload_;
    size_t continuationBits_ = 0;         // at its start, ending an earlier frame
    std::optional<uint64_t> firstFrame_;  // first sample of the first frame starting in it
    bool firstFrameSeekable_ = false;
    bool anySeekable_ = false;
    uint64_t previousFirstFrame_ = 0;  // the same for the packet before
    uint32_t sequence_ = 0;
    Ends ends_;
    BitWriter packet_;

    // The last packet the sink took, kept to end the stream there.
    std::vector<uint8_t> previous_;
    Ends previousEnds_;
};

}  // namespace wmsdk::lossless

#endif
