// A real optical drive, read through libcdio and libcdio-paranoia.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "drive.h"

namespace akrip {

struct PhysicalDriveInfo {
    std::string device;   // e.g. /dev/sr0
    uint8_t hostAdapter = 0;
    uint8_t target = 0;
    uint8_t lun = 0;
    std::string product;  // INQUIRY product identification, 16 characters
};

// The optical drives of the machine (udev's ID_CDROM=1, or sysfs SCSI type 5
// when there is no udev database). Opens no device.
std::vector<PhysicalDriveInfo> FindPhysicalDrives();

// Audio range [begin, end) of each audio track as far as it can be read: an
// audio track followed by a data track of a later session ends at that
// session's gap.
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

    // libcdio's simulated read faults (CDDA_TEST_* flags) for the reads
    // that follow; for tests of the paranoia path.
    void SimulateReadFaults(int flags) { testFlags_ = flags; }

private:
    struct Session;  // the libcdio objects of one disc
    std::string device_;
    bool cueImage_ = false;
    int testFlags_ = 0;
    std::unique_ptr<Session> session_;
    DiscToc toc_;
    std::vector<AudioRange> ranges_;
};

}  // namespace akrip
