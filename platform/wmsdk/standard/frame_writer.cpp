#include "standard/frame_writer.h"

#include <algorithm>
#include <cstdlib>

namespace wmsdk::standard {
namespace {

constexpr int kFirstExponent = 36;    // exponent deltas start from this value
constexpr int kRunBits = kFrameBits;  // escaped runs are this wide in every block
constexpr int kHostExponent = kFirstExponent;

class BitCounter {
public:
    void Put(uint32_t, int bits) { bits_ += static_cast<size_t>(bits); }
    size_t Bits() const { return bits_; }

private:
    size_t bits_ = 0;
};

int LastNonZero(const int16_t* levels, int count) {
    for (int i = count - 1; i >= 0; --i)
        if (levels[i] != 0) return i;
    return -1;
}

}  // namespace

RunLevelCode::RunLevelCode(const CoefCodeTable& table) : table_(table) {
    levelCount_ = static_cast<int>(std::min(table.runsPerLevel.size(), first_.size()));
    int code = 2;
    for (int level = 0; level < levelCount_; ++level) {
        first_[level] = static_cast<uint16_t>(code);
        code += table.runsPerLevel[level];
    }
}

int EscapeLevelBits(int totalGain) {
    if (totalGain < 15) return 13;
    if (totalGain < 32) return 12;
    if (totalGain < 40) return 11;
    if (totalGain < 45) return 10;
    return 9;
}

FrameWriter::FrameWriter(const StreamLayout& layout)
    : layout_(layout),
      codes_{RunLevelCode(CoefTable(2 * layout.coefTableSet)), RunLevelCode(CoefTable(2 * layout.coefTableSet + 1))} {}

void FrameWriter::Write(const FrameData& frame, bool resetSizes, BitWriter& out) { Emit(frame, resetSizes, out); }

size_t FrameWriter::Bits(const FrameData& frame, bool resetSizes) {
    BitCounter counter;
    Emit(frame, resetSizes, counter);
    return counter.Bits();
}

template <class Out>
void FrameWriter::Emit(const FrameData& frame, bool resetSizes, Out& out) {
    for (int b = 0; b < frame.blockCount; ++b) EmitBlock(frame, b, resetSizes, out);
}

template <class Out>
void FrameWriter::EmitBlock(const FrameData& frame, int b, bool resetSizes, Out& out) {
    const BlockData& block = frame.blocks[b];
    const BlockLayout& shape = layout_.blocks[block.sizeIndex];
    if (layout_.blockSizes > 1) {
        const int width = layout_.blockSizeFieldBits;
        if (b == 0 && resetSizes) {
            out.Put(frame.previousSize, width);
            out.Put(block.sizeIndex, width);
        }
        out.Put(b + 1 < frame.blockCount ? frame.blocks[b + 1].sizeIndex : frame.nextSize, width);
    }
    out.Put(block.midSide ? 1 : 0, 1);
    for (const bool coded : block.coded) out.Put(coded ? 1 : 0, 1);
    if (!block.coded[0] && !block.coded[1]) return;

    for (int gain = block.totalGain - 1;; gain -= 127) {
        out.Put(static_cast<uint32_t>(std::min(gain, 127)), 7);
        if (gain < 127) break;
    }
    if (layout_.noiseCoding) EmitNoise(block, shape, out);
    if (shape.length != kFrameLength) out.Put(1, 1);  // exponents follow
    for (int ch = 0; ch < kChannels; ++ch) {
        if (!block.coded[ch]) continue;
        int last = kFirstExponent;
        for (int band = 0; band < shape.bandCount; ++band) {
            const int code = block.exponents[ch][band] - last + 60;
            out.Put(kExponentCodes[code], kExponentLengths[code]);
            last = block.exponents[ch][band];
        }
    }
    for (int ch = 0; ch < kChannels; ++ch)
        if (block.coded[ch]) EmitLevels(frame, block, ch, out);
}

template <class Out>
void FrameWriter::EmitNoise(const BlockData& block, const BlockLayout& shape, Out& out) {
    for (int ch = 0; ch < kChannels; ++ch) {
        if (!block.coded[ch]) continue;
        for (int band = 0; band < shape.highBandCount; ++band) out.Put((block.noiseBands[ch] >> band) & 1, 1);
    }
    for (int ch = 0; ch < kChannels; ++ch) {
        if (!block.coded[ch]) continue;
        bool first = true;
        int previous = 0;
        for (int band = 0; band < shape.highBandCount; ++band) {
            if (!((block.noiseBands[ch] >> band) & 1)) continue;
            const int gain = block.noiseGains[ch][band];
            if (first) {
                out.Put(static_cast<uint32_t>(gain + 19), 7);
            } else {
                const int code = gain - previous + 18;
                out.Put(kNoiseGainCodes[code], kNoiseGainLengths[code]);
            }
            first = false;
            previous = gain;
        }
    }
}

int FrameWriter::Compact(const FrameData& frame, const BlockData& block, int channel) {
    const BlockLayout& shape = layout_.blocks[block.sizeIndex];
    const int16_t* levels = frame.levels[channel].data() + block.start;
    const int low = std::min(shape.highBandStart, shape.codedEnd);
    int count = 0;
    std::copy_n(levels, low, compact_.data());
    count = low;
    for (int band = 0, at = low; band < shape.highBandCount; at += shape.highBandSizes[band++]) {
        if ((block.noiseBands[channel] >> band) & 1) continue;
        std::copy_n(levels + at, shape.highBandSizes[band], compact_.data() + count);
        count += shape.highBandSizes[band];
    }
    return count;
}

template <class Out>
void FrameWriter::EmitLevels(const FrameData& frame, const BlockData& block, int channel, Out& out) {
    const int count = Compact(frame, block, channel);
    const int last = LastNonZero(compact_.data(), count);
    const RunLevelCode& code = codes_[channel == 1 && block.midSide ? 1 : 0];
    const int escapeBits = EscapeLevelBits(block.totalGain);
    int run = 0, escaped = block.escaped[channel];
    for (int i = 0; i <= last; ++i) {
        const int level = compact_[i];
        if (level == 0) {
            ++run;
            continue;
        }
        const int magnitude = std::abs(level);
        const int index = escaped-- > 0 ? RunLevelCode::kEscape : code.Index(run, magnitude);
        out.Put(code.Code(index), code.Length(index));
        if (index == RunLevelCode::kEscape) {
            out.Put(static_cast<uint32_t>(magnitude), escapeBits);
            out.Put(static_cast<uint32_t>(run), kRunBits);
        }
        out.Put(level > 0 ? 1 : 0, 1);
        run = 0;
    }
    const int filler = block.filler[channel];
    for (int i = 0; i < filler; ++i) {
        out.Put(code.Code(RunLevelCode::kEscape), code.Length(RunLevelCode::kEscape));
        out.Put(0, escapeBits);
        out.Put(0, kRunBits);
        out.Put(1, 1);
    }
    // A channel whose levels reach its last position needs no end code.
    if (last + 1 + filler < count)
        out.Put(code.Code(RunLevelCode::kEndOfBlock), code.Length(RunLevelCode::kEndOfBlock));
}

bool FrameWriter::Grow(FrameData& frame, bool resetSizes, size_t least, size_t most) {
    const size_t before = Bits(frame, resetSizes);
    const FrameData original = frame;
    bool ok = AddFiller(frame, least);
    if (ok) {
        const size_t grown = Bits(frame, resetSizes) - before;
        ok = grown >= least && grown <= most;
    }
    if (!ok) frame = original;
    return ok;
}

bool FrameWriter::AddFiller(FrameData& frame, size_t need) {
    // Channels coded anyway first, then channels coded to carry filler, the
    // last blocks first.
    for (int pass = 0; pass < 3 && need > 0; ++pass) {
        for (int b = frame.blockCount - 1; b >= 0 && need > 0; --b) {
            BlockData& block = frame.blocks[b];
            for (int ch = kChannels - 1; ch >= 0 && need > 0; --ch) {
                if (!block.coded[ch]) {
                    const bool silent = !block.coded[0] && !block.coded[1];
                    if (pass == 0 || (pass == 1 && !(silent && ch == 0))) continue;
                    const size_t before = Bits(frame, false);
                    if (silent) block.midSide = false;
                    block.coded[ch] = true;
                    if (silent) block.totalGain = 1;
                    block.exponents[ch].fill(kHostExponent);
                    block.noiseBands[ch] = 0;
                    const size_t cost = Bits(frame, false) - before;
                    need = need > cost ? need - cost : 0;
                }
                const int count = Compact(frame, block, ch);
                const int free = count - (LastNonZero(compact_.data(), count) + 1) - block.filler[ch];
                if (free <= 0) continue;
                const RunLevelCode& code = codes_[ch == 1 && block.midSide ? 1 : 0];
                const size_t entry = static_cast<size_t>(code.Length(RunLevelCode::kEscape) +
                                                         EscapeLevelBits(block.totalGain) + kRunBits + 1);
                const int add = static_cast<int>(
                    std::min<size_t>(static_cast<size_t>(free), (need + entry - 1) / entry));
                block.filler[ch] = static_cast<uint16_t>(block.filler[ch] + add);
                size_t gained = static_cast<size_t>(add) * entry;
                if (add == free) gained -= static_cast<size_t>(code.Length(RunLevelCode::kEndOfBlock));
                need = need > gained ? need - gained : 0;
            }
        }
    }
    if (need > 0) need -= std::min(need, EscapeLevels(frame, need));
    return need == 0;
}

// Writes levels with the escape code instead of their own, from the first
// level of the last block's channels on, until `need` bits are added.
size_t FrameWriter::EscapeLevels(FrameData& frame, size_t need) {
    size_t added = 0;
    for (int b = frame.blockCount - 1; b >= 0 && added < need; --b) {
        BlockData& block = frame.blocks[b];
        for (int ch = 0; ch < kChannels && added < need; ++ch) {
            if (!block.coded[ch]) continue;
            const int count = Compact(frame, block, ch);
            const RunLevelCode& code = codes_[ch == 1 && block.midSide ? 1 : 0];
            const int escape = code.Length(RunLevelCode::kEscape) + EscapeLevelBits(block.totalGain) + kRunBits;
            int seen = 0, run = 0;
            for (int i = 0; i < count && added < need; ++i) {
                if (compact_[i] == 0) {
                    ++run;
                    continue;
                }
                if (seen++ >= block.escaped[ch]) {
                    const int index = code.Index(run, std::abs(compact_[i]));
                    if (index != RunLevelCode::kEscape) added += static_cast<size_t>(escape - code.Length(index));
                    block.escaped[ch] = static_cast<uint16_t>(seen);
                }
                run = 0;
            }
        }
    }
    return added;
}

}  // namespace wmsdk::standard
