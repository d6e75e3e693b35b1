#include "standard/superframe_packer.h"

#include <algorithm>

namespace wmsdk::standard {
namespace {

// A decoder gives out frame k's output while it reads frame k + 1 and drops
// the first two frames' output (the encoder's priming): frame k completes
// the samples before (k - 1) x 2048.
constexpr uint64_t kPrimingFrames = 2;

uint64_t FrameStart(uint64_t frame) { return frame > kPrimingFrames ? (frame - kPrimingFrames) * kFrameLength : 0; }

}  // namespace

SuperframePacker::SuperframePacker(FrameWriter& writer, int blockAlign)
    : writer_(writer),
      blockAlign_(blockAlign),
      offsetBits_(writer.Layout().bitOffsetBits + 3),
      capacity_(static_cast<size_t>(blockAlign) * 8 - 8 - static_cast<size_t>(offsetBits_)),
      maxCarry_(size_t{1} << offsetBits_),
      slots_(std::make_unique<std::array<Placed, kMaxPlaced>>()) {}

size_t SuperframePacker::Position() const {
    size_t position = carryBits_;
    for (int i = 0; i < placed_; ++i) position += (*slots_)[i].bits;
    return position;
}

size_t SuperframePacker::NextFrameLimit() const {
    const size_t position = Position();
    size_t limit = capacity_ - 64;
    // A frame whose predecessor cannot run on instead must itself run on by
    // no more than the bit offset can say.
    bool leaning = EndsAFrameWithoutLast();
    if (leaning) {
        Placed trial = (*slots_)[placed_ - 1];
        const size_t room = capacity_ - position;
        leaning = writer_.Grow(trial.frame, trial.resetSizes, room + 1, room + maxCarry_ - 1);
    }
    if (!leaning && position < capacity_) limit = std::min(limit, capacity_ - position + maxCarry_ - 1);
    return limit;
}

size_t SuperframePacker::NextFrameMinimum() const { return placed_ == MaxWhole() ? capacity_ - Position() + 1 : 0; }

bool SuperframePacker::Add(const FrameData& frame, EncodedFrameSink& sink) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        const size_t position = Position();
        Placed& slot = (*slots_)[placed_];
        slot.frame = frame;
        slot.resetSizes = placed_ == 0;
        slot.bits = writer_.Bits(slot.frame, slot.resetSizes);
        if (position + slot.bits <= capacity_) {
            if (placed_ < MaxWhole()) {
                ++placed_;
                return position + slot.bits < capacity_ || Emit(sink);
            }
            // The superframe ends as many frames as it may: this one runs on.
            const size_t room = capacity_ - position - slot.bits;
            if (writer_.Grow(slot.frame, slot.resetSizes, room + 1, room + maxCarry_ - 1)) {
                slot.bits = writer_.Bits(slot.frame, slot.resetSizes);
                ++placed_;
                return Emit(sink);
            }
        } else if (position + slot.bits - capacity_ < maxCarry_) {
            ++placed_;
            return Emit(sink);
        }
        // The frame moves on to the next superframe; the one before it runs on.
        if (!EndsAFrameWithoutLast()) return false;
        Placed& previous = (*slots_)[placed_ - 1];
        const size_t room = capacity_ - position;
        if (!writer_.Grow(previous.frame, previous.resetSizes, room + 1, room + maxCarry_ - 1)) return false;
        previous.bits = writer_.Bits(previous.frame, previous.resetSizes);
        if (!Emit(sink)) return false;
    }
    return false;
}

MediaObjectTiming SuperframePacker::Timing(bool lastSpills) const {
    const int whole = placed_ - (lastSpills ? 1 : 0);
    const uint64_t first = carryBits_ > 0 ? carryFrame_ : (*slots_)[0].frame.index;
    const uint64_t last = whole > 0 ? (*slots_)[whole - 1].frame.index : carryFrame_;
    MediaObjectTiming timing;
    timing.presentationSample = FrameStart(first);
    timing.endSample = std::max(timing.presentationSample, FrameStart(last + 1));
    timing.seekPoint = whole > 0;
    timing.seekSample = whole > 0 ? FrameStart((*slots_)[0].frame.index) : timing.presentationSample;
    timing.completeSamples = last * kFrameLength;
    return timing;
}

bool SuperframePacker::Emit(EncodedFrameSink& sink) {
    const bool lastSpills = Position() > capacity_;
    const int whole = placed_ - (lastSpills ? 1 : 0);
    const MediaObjectTiming timing = Timing(lastSpills);
    superframe_.Reset();
    superframe_.Put(static_cast<uint32_t>(sent_ & 15), 4);
    superframe_.Put(static_cast<uint32_t>(whole + 1), 4);
    superframe_.Put(static_cast<uint32_t>(carryBits_), offsetBits_);
    superframe_.Append(carry_.Bytes(), 0, carryBits_);
    size_t position = carryBits_;
    carryBits_ = 0;
    for (int i = 0; i < placed_; ++i) {
        const Placed& slot = (*slots_)[i];
        frameBits_.Reset();
        writer_.Write(slot.frame, slot.resetSizes, frameBits_);
        const size_t here = std::min(slot.bits, capacity_ - position);
        superframe_.Append(frameBits_.Bytes(), 0, here);
        position += here;
        if (here < slot.bits) {
            carry_.Reset();
            carry_.Append(frameBits_.Bytes(), here, slot.bits - here);
            carryBits_ = slot.bits - here;
            carryFrame_ = slot.frame.index;
        }
    }
    const size_t total = static_cast<size_t>(blockAlign_) * 8;
    while (superframe_.Bits() + 32 <= total) superframe_.Put(0, 32);
    superframe_.Put(0, static_cast<int>(total - superframe_.Bits()));
    placed_ = 0;
    ++sent_;
    return sink.AddFrame(superframe_.Bytes(), timing);
}

bool SuperframePacker::Finish(EncodedFrameSink& sink) {
    if (placed_ == 0 && carryBits_ == 0) return true;
    return Emit(sink);
}

}  // namespace wmsdk::standard
