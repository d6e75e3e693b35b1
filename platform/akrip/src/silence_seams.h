// Where a drive places its reads a few samples off (jitter), paranoia aligns
// each read by what it shares with the verified audio before it. Across
// digital silence a read shares nothing but zeros, which match at any
// shift: the audio after the silence can be verified a few samples off, and
// the rest of the stream stays off by as much.
//
// One read of the drive is contiguous whatever its placement, so a read that
// spans the silence with audio on both sides tells: placed by the audio
// before the silence, it must also match the audio after it. This checks the
// silences of the audio delivered so far against such reads.
#pragma once

#include <cstdint>
#include <span>

namespace akrip {

// Reads `sectors` raw audio sectors from `first` in one read of the drive.
class RawSectorSource {
public:
    virtual bool ReadRaw(int64_t first, int64_t sectors, uint8_t* out) = 0;

protected:
    ~RawSectorSource() = default;
};

struct SeamVerdict {
    bool misplaced = false;
    int64_t firstWrongSample = -1;  // on the disc; the audio after a silence starts here
};

struct SeamLimits {
    int64_t maxReadSectors = 25;  // the longest single read of the drive
    int reads = 3;                // fresh reads of one silence before it is left as it is
};

// Checks every silence in `audio` (stereo samples from disc sample `first`
// on, as delivered) whose audio after it is complete in `audio` and reaches
// `from` (the samples before `from` were checked before). `scratch` holds one
// read (limits.maxReadSectors sectors). A silence no single read spans, or
// whose reads all fail or match neither side, is left as it is.
SeamVerdict CheckSilenceSeams(std::span<const uint8_t> audio, int64_t first, int64_t from, RawSectorSource& source,
                              std::span<uint8_t> scratch, SeamLimits limits = {});

}  // namespace akrip
