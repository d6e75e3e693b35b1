// Finding the machine's optical drives: the paths the user names in
// CADRIX_CD_DEVICES, then udev's CD-ROM devices (or sysfs SCSI type 5).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace akrip {

struct PhysicalDriveInfo {
    std::string device;  // e.g. /dev/sr0
    uint8_t hostAdapter = 0;
    uint8_t target = 0;
    uint8_t lun = 0;
    std::string product;    // INQUIRY product identification, 16 characters
    bool addressed = true;  // false: no SCSI address that fits the drive list's bytes
};

// udev's ID_CDROM=1 devices, or sysfs SCSI type 5 without a udev database.
// Opens no device.
std::vector<PhysicalDriveInfo> FindPhysicalDrives();

// The devices named in `value` (':'-separated, as CADRIX_CD_DEVICES), then
// `found` less the devices already named. A named device's product text is
// its INQUIRY model when it answers, else its file name; its address comes
// from sysfs when the kernel knows it as a SCSI device.
std::vector<PhysicalDriveInfo> MergeNamedDevices(std::string_view value, std::vector<PhysicalDriveInfo> found);

// "H:C:T:L"; false when it is not one or a part does not fit a byte.
bool ParseScsiAddress(const std::string& text, PhysicalDriveInfo& info);

}  // namespace akrip
