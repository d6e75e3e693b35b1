// Writes coded frames as WMA Standard bits, and grows a frame by a given
// number of bits with filler that changes nothing a decoder gives out:
// escape-coded zero levels after a channel's last level (a decoder stores
// them as zeros), in a channel that is coded anyway or, in a block with no
// coded channel, in a channel coded for that purpose with all levels zero;
// and, where that is not enough, levels written with the escape code
// instead of their shorter code.
#ifndef CADRIX_WMSDK_STANDARD_FRAME_WRITER_H
#define CADRIX_WMSDK_STANDARD_FRAME_WRITER_H

#include <array>
#include <cstddef>
#include <cstdint>

#include "bit_writer.h"
#include "standard/coef_tables.h"
#include "standard/frame_data.h"
#include "standard/stream_layout.h"

namespace wmsdk::standard {

// Looks up the run-level code of a coefficient table.
class RunLevelCode {
public:
    explicit RunLevelCode(const CoefCodeTable& table);
    static constexpr int kEscape = 0;
    static constexpr int kEndOfBlock = 1;
    // The code of `run` zeros followed by `level` (1 or more), or kEscape.
    int Index(int run, int level) const {
        if (level > levelCount_ || run >= table_.runsPerLevel[level - 1]) return kEscape;
        return first_[level - 1] + run;
    }
    uint32_t Code(int index) const { return table_.codes[index]; }
    int Length(int index) const { return table_.lengths[index]; }

private:
    const CoefCodeTable& table_;
    int levelCount_ = 0;
    std::array<uint16_t, 340> first_{};  // code of run 0 at each level
};

// Escape levels are this many bits wide for a block's total gain.
int EscapeLevelBits(int totalGain);

class FrameWriter {
public:
    explicit FrameWriter(const StreamLayout& layout);

    // `resetSizes`: the frame is the first to start in its superframe, and
    // so states the sizes of the block before it and of its first block.
    void Write(const FrameData& frame, bool resetSizes, BitWriter& out);
    size_t Bits(const FrameData& frame, bool resetSizes);
    // Adds filler so that the frame grows by `least` to `most` bits; false
    // (and the frame unchanged) when it cannot.
    bool Grow(FrameData& frame, bool resetSizes, size_t least, size_t most);

    const StreamLayout& Layout() const { return layout_; }
    const RunLevelCode& Code(bool sideChannel) const { return codes_[sideChannel ? 1 : 0]; }

private:
    template <class Out>
    void Emit(const FrameData& frame, bool resetSizes, Out& out);
    template <class Out>
    void EmitBlock(const FrameData& frame, int b, bool resetSizes, Out& out);
    template <class Out>
    void EmitNoise(const BlockData& block, const BlockLayout& shape, Out& out);
    template <class Out>
    void EmitLevels(const FrameData& frame, const BlockData& block, int channel, Out& out);
    // Levels of the coded part of a block's channel (noise bands left out).
    int Compact(const FrameData& frame, const BlockData& block, int channel);
    bool AddFiller(FrameData& frame, size_t need);
    size_t EscapeLevels(FrameData& frame, size_t need);

    const StreamLayout layout_;
    std::array<RunLevelCode, 2> codes_;
    std::array<int16_t, kFrameLength> compact_{};
};

}  // namespace wmsdk::standard

#endif
