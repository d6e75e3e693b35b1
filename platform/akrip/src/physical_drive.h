// A real optical drive, read through libcdio and libcdio-paranoia.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio_ranges.h"
#include "drive.h"
#include "drive_discovery.h"
#include "read_ahead.h"

namespace akrip {

class PhysicalDrive : public Drive {
public:
    // `device` is a device node; with `cueImage` it is a cue sheet opened
    // through libcdio's own image driver, so that this class can be tested
    // without hardware.
    explicit PhysicalDrive(std::string device, bool cueImage = false);
    ~PhysicalDrive() override;
    DiscToc ReadToc() override;
    uint32_t ReadAudio(int64_t lsn, uint32_t frames, uint8_t* out) override;
    ReadStats TakeStats() override;
    void SetReadOffset(int32_t samples) override;
    void SetBurst(bool burst) override;
    DriveIdentity Identity() override;
    std::optional<AudioRange> TrackRange(int track) override;
    void SetReadAhead(int64_t end) override { readAheadEnd_ = end; }
    DiscLayout Layout() override;

    // libcdio's simulated read faults (CDDA_TEST_* flags) for the reads
    // that follow; for tests of the paranoia path.
    void SimulateReadFaults(int flags) { testFlags_ = flags; }

private:
    struct Session;  // the libcdio objects of one disc
    void DropSession();
    void FindDataPregaps();
    bool IsAudioSector(int64_t lsn);
    void StartReadAhead(int64_t lsn);
    // The sectors of the readable range from `lsn`, at most `wanted`.
    uint32_t BlockAt(int64_t lsn, uint32_t wanted) const;
    // The first disc sector whose samples are not needed for the track
    // holding `lsn`: a failure from there on is that track's successor's.
    int64_t FenceFor(int64_t lsn) const;
    bool ReadBlock(int64_t lsn, uint32_t count, uint8_t* out, ReadStats& stats);
    bool ReadSectors(int64_t lsn, uint32_t count, int64_t fence, uint8_t* out, ReadStats& stats);
    bool ReadShifted(int64_t lsn, uint32_t count, int64_t fence, uint8_t* out, ReadStats& stats);
    bool ReadBurst(int64_t lsn, uint32_t count, uint8_t* out, ReadStats& stats);
    bool Readable(int64_t lsn) const;
    bool DiscWentAway() const;

    std::string device_;
    bool cueImage_ = false;
    int testFlags_ = 0;
    int32_t offsetSamples_ = 0;
    bool burst_ = false;
    std::optional<DriveIdentity> identity_;
    std::unique_ptr<Session> session_;
    DiscToc toc_;
    std::vector<AudioRange> ranges_;
    bool pregapsFound_ = false;           // FindDataPregaps ran for this disc
    std::optional<DiscLayout> layout_;    // found once a disc
    std::atomic<bool> burstGone_{false};  // a burst read found the disc gone
    int64_t readAheadEnd_ = 0;
    ReadStats stats_;
    static constexpr uint32_t kMaxReadFrames = 27;
    static constexpr size_t kReadAheadSectors = 96 * kMaxReadFrames;  // two of paranoia's windows
    std::vector<uint8_t> shifted_;                                    // one request and a sector, for offset reads
    std::vector<uint8_t> carry_;                                      // the last sector of the last offset read
    int64_t carryLsn_ = -1;                                           // which sector carry_ holds
    std::atomic<bool> cancelAhead_{false};
    // Reads on while the caller encodes; the only reader of the session
    // while it runs. Stopped before anything else touches the session.
    ReadAheadStream ahead_;
};

}  // namespace akrip
