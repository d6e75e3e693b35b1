// AccurateRip: the disc's identifiers, the checksums of a track's audio, the
// database file of a disc and what it says about a track.
//
// The checksums work on 32-bit stereo samples (left in the low half) at
// 1-based positions within the track. v1 is the sum of position * sample
// modulo 2^32; v2 adds the high 32 bits of each 64-bit product as well. The
// disc's first audio track leaves out its first five sectors but one sample
// (positions below 2940 count nothing), the last audio track its last five
// sectors (2940 samples), where drives read differently.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "cd_geometry.h"
#include "disc/disc_query.h"

namespace cadrix {

inline constexpr uint32_t AR_SKIPPED_SAMPLES = 5 * cd::kSamplesPerFrame;  // 2940

// The disc's identifiers: over its audio tracks, data tracks counting only
// for the lead-out; the third is the CDDB id of the whole TOC.
struct AccurateRipDiscId {
    uint32_t audioTracks = 0;
    uint32_t id1 = 0;
    uint32_t id2 = 0;
    uint32_t cddbId = 0;

    bool Valid() const { return audioTracks > 0; }
    // "003-0001a2b3-00c4d5e6-1f02e003"
    std::string Text() const;
    // "accuraterip/3/b/2/dBAR-003-0001a2b3-00c4d5e6-1f02e003.bin": the file's
    // place below the service's base address.
    std::string FilePath() const;
};

// The identifiers of `disc` (audioTracks 0 when it has no audio track).
AccurateRipDiscId MakeAccurateRipDiscId(const DiscQuery& disc);

// The checksums of one track, fed its PCM (16-bit little-endian stereo) as
// it is delivered; nothing is allocated.
class TrackChecksum {
public:
    // Starts a track; `first`/`last`: it is the disc's first / last audio
    // track. The last track's end is wherever its audio ends.
    void Begin(bool first, bool last);
    void Add(std::span<const uint8_t> pcm);
    // Samples as StereoSample makes them; the CRC32 does not see them.
    void AddSamples(std::span<const uint32_t> samples);
    // Ends the track: v1, v2 and crc32 hold its checksums.
    void Finish();

    uint32_t v1 = 0;
    uint32_t v2 = 0;
    uint32_t crc32 = 0;
    uint64_t samples = 0;
    uint32_t peak = 0;  // the largest absolute sample of either channel, 0..32768

private:
    void AddSample(uint32_t sample);

    bool first_ = false;
    bool last_ = false;
    uint64_t sumLow_ = 0;  // modulo 2^64; the checksums take 32 bits
    uint64_t sumHigh_ = 0;
    uint32_t crcState_ = 0;
    uint8_t carry_[4] = {};
    size_t carryBytes_ = 0;
    // The last track's last samples, whose share is taken out at the end.
    uint32_t tail_[AR_SKIPPED_SAMPLES] = {};
};

// One submission of a database file: a disc's ids and a checksum with its
// confidence for each of its tracks (v1 and v2 submissions look alike).
struct AccurateRipSubmission {
    AccurateRipDiscId disc;
    struct Track {
        uint8_t confidence = 0;
        uint32_t checksum = 0;
        uint32_t frame450 = 0;
    };
    std::vector<Track> tracks;
};

// Every whole submission of a database file, in order; reading stops at
// the first one cut short. At most `maxSubmissions` are kept.
std::vector<AccurateRipSubmission> ParseAccurateRipFile(std::span<const uint8_t> bytes, size_t maxSubmissions = 10000);

enum class ArVerdict {
    NotLookedUp,    // no lookup (off, failed or not finished)
    NotInDatabase,  // the service does not know the disc
    Accurate,
    NotAccurate,         // the disc is known; no submission has this track's sums
    TrackNotInDatabase,  // the disc is known, but no sum for this track
};

struct ArTrackResult {
    ArVerdict verdict = ArVerdict::NotLookedUp;
    bool v2 = false;           // the v2 sum matched (else v1, when accurate)
    uint32_t confidence = 0;   // of the best matching submission
    uint32_t submissions = 0;  // submissions with a sum for this track
};

// What the database says of the track at position `trackNumber` of the TOC
// (1-based; a submission's n-th slot is TOC track n) with sums v1 and v2:
// accurate when a submission for this disc has either sum there.
ArTrackResult MatchTrack(const std::vector<AccurateRipSubmission>& submissions, const AccurateRipDiscId& disc,
                         int32_t trackNumber, uint32_t v1, uint32_t v2);

// The drive's read offset found from a track: `drive` holds raw samples
// read with offset 0 (drive[k] is what the drive returns at disc position
// `firstSample` + k); the offset is the shift within ±`range` samples at
// which the track of `trackSamples` samples from disc position `trackStart`
// has one of the v1 sums `wanted` (the one nearest to 0 when several do).
// `drive` must cover the track widened by `range` on both sides. False when
// no shift matches or `drive` is too short.
struct TrackSpan {
    int64_t start = 0;  // disc position of the track's first sample
    int64_t samples = 0;
    bool first = false;  // the disc's first / last audio track
    bool last = false;
};
bool FindOffsetByChecksum(std::span<const uint32_t> drive, int64_t firstSample, const TrackSpan& track,
                          std::span<const uint32_t> wanted, int32_t range, int32_t& offset);

// Interprets 4 PCM bytes as the stereo sample the checksums use.
inline uint32_t StereoSample(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace cadrix
