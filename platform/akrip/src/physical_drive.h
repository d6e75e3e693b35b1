// A real optical drive, read through libcdio and libcdio-paranoia.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "drive.h"
#include "drive_discovery.h"

namespace akrip {

// Audio range [begin, end) of each audio track as far as it can be read:
// up to the next track, except that a track followed by one of a later
// session ends at the gap between the sessions (an Enhanced CD's data).
struct AudioRange {
    int64_t begin;
    int64_t end;
};
std::vector<AudioRange> ReadableAudioRanges(const DiscToc& toc);

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
    void SetReadOffset(int32_t samples) override { offsetSamples_ = samples; }

    // libcdio's simulated read faults (CDDA_TEST_* flags) for the reads
    // that follow; for tests of the paranoia path.
    void SimulateReadFaults(int flags) { testFlags_ = flags; }

private:
    struct Session;  // the libcdio objects of one disc
    void DropSession();
    bool ReadSectors(int64_t lsn, uint32_t count, uint8_t* out);
    bool ReadShifted(int64_t lsn, uint32_t count, uint8_t* out);
    bool Readable(int64_t lsn) const;

    std::string device_;
    bool cueImage_ = false;
    int testFlags_ = 0;
    int32_t offsetSamples_ = 0;
    std::unique_ptr<Session> session_;
    DiscToc toc_;
    std::vector<AudioRange> ranges_;
    ReadStats stats_;
    static constexpr uint32_t kMaxReadFrames = 27;
    std::vector<uint8_t> shifted_;  // one request and a sector, for offset reads
    std::vector<uint8_t> carry_;    // the last sector of the last offset read
    int64_t carryLsn_ = -1;         // which sector carry_ holds
};

}  // namespace akrip
