// What a drive handle reads from: a real drive or a folder holding an image.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include <optional>

#include "audio_ranges.h"
#include "disc_toc.h"
#include "read_stats.h"

namespace akrip {

// What the drive says it is (INQUIRY vendor, product and revision).
// Where the facts of a disc's layout (pregaps, index points, ISRCs, MCN)
// came from.
enum class LayoutSource { Toc, Sheet, SubChannel };

struct DiscLayout {
    DiscToc toc;  // with index0, indexes, isrc and mcn as far as known
    LayoutSource source = LayoutSource::Toc;
};

struct DriveIdentity {
    std::string vendor;
    std::string model;
    std::string revision;
    bool isVirtual = false;
    bool known = false;  // false: the drive did not answer
};

class Drive {
public:
    virtual ~Drive() = default;
    // Looks at the drive again, so that a disc put in or taken out since the
    // last call is seen, and returns the TOC (empty: no disc).
    virtual DiscToc ReadToc() = 0;
    // Reads up to `frames` audio sectors from `lsn` into `out`. Returns the
    // number read: fewer when the readable audio ends inside the request,
    // 0 when `lsn` is not readable audio or the read failed.
    virtual uint32_t ReadAudio(int64_t lsn, uint32_t frames, uint8_t* out) = 0;

    // Counts the discs seen: it changes whenever another disc (or none) is
    // found in the drive, so a reader can tell that its disc went away.
    uint32_t Generation() const { return generation_.load(); }
    // While set, reads fail at once and a read in progress returns soon.
    // Called from any thread.
    void SetAbort(bool abort) { abort_.store(abort); }
    // What the reads since the last call had to fix; starts counting anew.
    virtual ReadStats TakeStats() { return {}; }
    // The drive's read offset in samples (its audio comes that early), to
    // be corrected from the next read on.
    virtual void SetReadOffset(int32_t) {}
    // Burst reading: each block read once, unverified (see AkripSetReadMode).
    virtual void SetBurst(bool) {}
    virtual DriveIdentity Identity() = 0;
    // The audio of track `track` (1-based) of the disc the last TOC read
    // found, as this drive reads it; none for a data track or no track.
    virtual std::optional<AudioRange> TrackRange(int track) = 0;
    // The reads that follow go on in order up to `end` (an LSN): a drive
    // that reads ahead may read on to there. 0: only within the track read.
    virtual void SetReadAhead(int64_t) {}
    // The layout of the disc the last TOC read found; empty toc: no disc.
    virtual DiscLayout Layout() = 0;

protected:
    void NewDisc() { generation_.fetch_add(1); }
    std::atomic<bool> abort_{false};

private:
    std::atomic<uint32_t> generation_{1};
};

}  // namespace akrip
