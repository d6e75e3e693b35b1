// Verifying a run's tracks: which way each track is read (at full speed when
// AccurateRip knows the disc, securely otherwise or when the fast read does
// not match), the drive's read offset, and what AccurateRip says of the
// sums of each track as it was written.
//
// The job configures it on the front-end's thread before the run; the worker
// calls BeginTrack and EndPass for its track and writes only that track's
// slot; the front-end reads a track's slot once that track's worker has
// cleared `running`, and the rest once the run is over.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "akrip_extras.h"
#include "disc/disc_model.h"
#include "verify/accuraterip.h"
#include "verify/accuraterip_lookup.h"

namespace cadrix {

enum class ReadWay {
    Secure,           // verified sector by sector (paranoia)
    Burst,            // at full speed, proven by AccurateRip
    BurstThenSecure,  // at full speed, not proven, so read again securely
};

struct TrackVerification {
    bool read = false;     // a read of the track ended; the sums are the last read's
    bool aborted = false;  // the run was aborted during the track's last read
    ReadWay way = ReadWay::Secure;
    uint32_t crc32 = 0;
    uint32_t v1 = 0;
    uint32_t v2 = 0;
    uint64_t samples = 0;
    uint32_t burstCrc32 = 0;  // BurstThenSecure: what the fast read gave
    ArTrackResult ar;
    std::string file;  // the track's output, as OpenTrack named it
};

// Where the read offset in force came from.
enum class OffsetSource {
    None,             // nothing known: 0
    Environment,      // CADRIX_READ_OFFSET
    Settings,         // kept for the drive (cadrix-rip --find-offset)
    AccurateRipList,  // AccurateRip's drive offset list
    Image,            // a virtual drive reads its image exactly
};

// The drive as its INQUIRY data names it.
struct DriveFacts {
    bool known = false;
    bool isVirtual = false;
    std::string vendor;
    std::string model;
    std::string Key() const;  // DriveKey(vendor, model)
};

// The drive's facts through AkripGetDriveInfo (unknown without it).
DriveFacts QueryDriveFacts(AkripGetDriveInfoProc getInfo, HCDROM handle);

class RunVerifier {
public:
    struct Binding {
        HCDROM handle = 0;
        AkripSetReadModeProc setReadMode = nullptr;  // null: always secure
        AkripSetReadOffsetProc setReadOffset = nullptr;
    };

    // Before the run. `lookup` null: AccurateRip is not asked. `fixed`: the
    // offset from FixedReadOffset, else the list's (from `lookup`) or 0.
    void Configure(const DriveRecord& disc, Binding binding, DriveFacts drive,
                   std::optional<std::pair<int32_t, OffsetSource>> fixed, std::shared_ptr<AccurateRipLookup> lookup);

    // Worker, before the first read of `track`: waits for the lookup (false
    // when `abort` came first), sets the offset before the run's first read,
    // and the read mode. `burst` says whether to read at full speed.
    bool BeginTrack(int32_t track, const std::atomic<int32_t>& abort, bool& burst);
    // Worker, after a read of the whole track (or as much as could be read)
    // with these sums; true when the track is done, false when it must be
    // read again securely (a fast read AccurateRip does not prove).
    bool EndPass(int32_t track, bool burst, uint32_t crc32, uint32_t v1, uint32_t v2, uint64_t samples);
    // Worker, when the run was aborted during a read of the track that wrote
    // `samples` to its file (read at full speed when `burst`: unverified).
    void AbortPass(int32_t track, bool burst, uint64_t samples);
    // Worker: where the track's output went.
    void SetFile(int32_t track, std::string file) { Slot(track).file = std::move(file); }

    bool IsFirstAudio(int32_t track) const { return track == firstAudio_; }
    bool IsLastAudio(int32_t track) const { return track == lastAudio_; }

    const TrackVerification& Track(int32_t track) const { return tracks_[Index(track)]; }
    // Once the run is over.
    const DriveFacts& Drive() const { return drive_; }
    int32_t Offset() const { return offset_; }
    OffsetSource Source() const { return source_; }
    // The lookup's result; null when AccurateRip was not asked or had not
    // answered when the run ended.
    const ArLookupResult* Lookup() const;
    bool Asked() const { return lookup_ != nullptr; }

private:
    static size_t Index(int32_t track) { return static_cast<size_t>(track) % TRACK_SLOTS; }
    TrackVerification& Slot(int32_t track) { return tracks_[Index(track)]; }
    void ApplyOffset();

    Binding binding_;
    DriveFacts drive_;
    std::shared_ptr<AccurateRipLookup> lookup_;
    int32_t firstAudio_ = 0;
    int32_t lastAudio_ = 0;
    bool offsetFixed_ = false;
    bool offsetApplied_ = false;
    int32_t offset_ = 0;
    OffsetSource source_ = OffsetSource::None;
    std::array<TrackVerification, TRACK_SLOTS> tracks_{};
};

}  // namespace cadrix
