#include "lossless/lossless_packetiser.h"

#include <algorithm>

namespace wmsdk::lossless {

bool Packetiser::NextFrameStartsPacket() const {
    if (!havePending_) return !firstFrame_.has_value();
    // The held frame starts in the current packet; the next one starts in a
    // later packet exactly when the held frame reaches the packet's end.
    return payload_.Bits() + pendingBits_ + 1 >= kPayloadBits;
}

bool Packetiser::AddFrame(std::span<const uint8_t> bits, size_t count, bool seekable, uint64_t firstSample,
                          uint32_t samples, EncodedFrameSink& sink) {
    if (havePending_ && !Commit(false, sink)) return false;
    pending_.Reset();
    pending_.Append(bits, 0, count);
    pendingBits_ = count;
    pendingSeekable_ = seekable;
    pendingSample_ = firstSample;
    pendingSamples_ = samples;
    havePending_ = true;
    return true;
}

bool Packetiser::Commit(bool last, EncodedFrameSink& sink) {
    havePending_ = false;
    const size_t start = payload_.Bits();
    const size_t length = pendingBits_ + 1;
    pending_.Put(!last && start + length < kPayloadBits ? 1 : 0, 1);
    if (!firstFrame_) {
        firstFrame_ = pendingSample_;
        firstFrameSeekable_ = pendingSeekable_;
    }
    anySeekable_ = anySeekable_ || pendingSeekable_;
    const std::span<const uint8_t> frame = pending_.Bytes();
    const size_t here = std::min(length, kPayloadBits - start);
    payload_.Append(frame, 0, here);
    const uint64_t end = pendingSample_ + pendingSamples_;
    if (here == length) {
        ends_ = {start + length, true, true, end};
        if (payload_.Bits() < kPayloadBits) return true;
    }
    if (!Emit(false, sink)) return false;
    continuationBits_ = length - here;
    payload_.Append(frame, here, continuationBits_);
    if (continuationBits_ > 0) ends_ = {continuationBits_, false, false, end};
    return true;
}

bool Packetiser::Emit(bool final, EncodedFrameSink& sink) {
    // A last packet holding only the end of the last frame claims its whole
    // payload as that frame's: the decoder then keeps the padding with the
    // frame, after its trailer bit, instead of parsing it as one more frame.
    const size_t prevBits = final && !firstFrame_ ? kPayloadBits : continuationBits_;
    packet_.Reset();
    packet_.Put(sequence_ & 0xF, 4);
    packet_.Put(anySeekable_ ? 1 : 0, 1);
    packet_.Put(0, 1);  // not spliced
    packet_.Put(static_cast<uint32_t>(prevBits), kPrevBitsWidth);
    packet_.Append(payload_.Bytes(), 0, payload_.Bits());
    while (packet_.Bits() + 32 <= size_t{kPacketBytes} * 8) packet_.Put(0, 32);
    packet_.Put(0, static_cast<int>(size_t{kPacketBytes} * 8 - packet_.Bits()));

    // A decoder gives out a packet's frames while it reads the next packet,
    // so a packet is stamped with the first frame of the packet before it.
    MediaObjectTiming timing;
    timing.presentationSample = previousFirstFrame_;
    timing.endSample = firstFrame_.value_or(previousFirstFrame_);
    timing.seekPoint = firstFrame_.has_value() && firstFrameSeekable_;
    timing.seekSample = firstFrame_.value_or(0);
    timing.completeSamples = ends_.completeSamples;
    if (!sink.AddFrame(packet_.Bytes(), timing)) {
        EndStreamAtPrevious(sink);
        return false;
    }
    const std::span<const uint8_t> sent = packet_.Bytes();
    previous_.assign(sent.begin(), sent.end());
    previousEnds_ = ends_;

    ++sequence_;
    if (firstFrame_) previousFirstFrame_ = *firstFrame_;
    firstFrame_.reset();
    firstFrameSeekable_ = false;
    anySeekable_ = false;
    continuationBits_ = 0;
    ends_.lastStartedHere = false;
    ends_.wholeFrameHere = false;
    ends_.lastEnd = 0;
    payload_.Reset();
    return true;
}

void Packetiser::EndStreamAtPrevious(EncodedFrameSink& sink) {
    if (previous_.empty()) return;
    BitWriter rewritten;
    const size_t end = kHeaderBits + previousEnds_.lastEnd;
    rewritten.Append(previous_, 0, end);
    while (rewritten.Bits() + 32 <= size_t{kPacketBytes} * 8) rewritten.Put(0, 32);
    rewritten.Put(0, static_cast<int>(size_t{kPacketBytes} * 8 - rewritten.Bits()));
    const std::span<const uint8_t> written = rewritten.Bytes();
    std::vector<uint8_t> bytes(written.begin(), written.end());
    auto clearBit = [&bytes](size_t bit) { bytes[bit / 8] &= static_cast<uint8_t>(~(0x80u >> (bit % 8))); };
    if (previousEnds_.lastStartedHere) clearBit(end - 1);  // the trailer: no frame follows
    if (!previousEnds_.wholeFrameHere) {
        // Only the end of an earlier frame is left: claim the whole payload
        // for it, as in a last packet.
        for (int i = 0; i < kPrevBitsWidth; ++i) {
            const size_t bit = 6 + static_cast<size_t>(i);
            const bool set = (kPayloadBits >> (kPrevBitsWidth - 1 - i)) & 1;
            bytes[bit / 8] = static_cast<uint8_t>(set ? bytes[bit / 8] | (0x80u >> (bit % 8))
                                                      : bytes[bit / 8] & ~(0x80u >> (bit % 8)));
        }
    }
    sink.ReplaceLastObject(bytes, previousEnds_.completeSamples);
}

bool Packetiser::Finish(EncodedFrameSink& sink) {
    if (havePending_ && !Commit(true, sink)) return false;
    // A stream without samples still gets one packet, holding no frame, so
    // that it has a data packet at all.
    if (payload_.Bits() == 0 && continuationBits_ == 0 && sequence_ > 0) return true;
    return Emit(true, sink);
}

}  // namespace wmsdk::lossless
