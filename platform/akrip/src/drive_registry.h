// The drive list and the open handles of the library.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "akrip_records.h"
#include "cd_geometry.h"
#include "drive.h"
#include "physical_drive.h"

namespace akrip {

// Host adapter numbers given to drives without an address of their own
// (virtual drives, drives without a SCSI parent) start here.
inline constexpr uint8_t kVirtualHostAdapter = 200;

struct DriveEntry {
    bool physical = false;
    std::string location;  // device node, or the folder of a virtual drive
    uint8_t hostAdapter = 0;
    uint8_t target = 0;
    uint8_t lun = 0;
    std::string product;  // at most 16 characters
};

// The folders named by CADRIX_VIRTUAL_DRIVES (':'-separated; empty entries
// are skipped).
std::vector<std::string> ParseVirtualDriveFolders(std::string_view value);

// Real drives first, then one virtual drive per folder; at most eight. Every
// drive gets an address of its own: a real drive keeps its SCSI address
// unless another drive has it already; the others get free addresses from
// kVirtualHostAdapter on.
std::vector<DriveEntry> BuildDriveList(const std::vector<PhysicalDriveInfo>& physical,
                                       const std::vector<std::string>& folders);

// One open handle. Calls that use the drive are serialised by `mutex`; a
// TOC query that finds a read holding it answers from `lastToc` instead of
// waiting (a read on a damaged disc can take minutes).
struct OpenHandle {
    std::mutex mutex;
    std::unique_ptr<Drive> drive;  // set once at opening
    std::atomic<bool> msf{true};   // ReadTOC addresses as MSF until switched off
    // The TOC that ReadTOC last returned: the disc id describes that TOC, so
    // a disc swapped between the two calls cannot pair one disc's TOC with
    // another disc's id.
    std::mutex tocMutex;
    std::optional<DiscToc> lastToc;  // guarded by tocMutex
};

// A read offset within what drives have (ten sectors either way).
inline int32_t ClampReadOffset(long samples) {
    constexpr long kLimit = cadrix::cd::kMaxReadOffset;
    return static_cast<int32_t>(samples < -kLimit ? -kLimit : samples > kLimit ? kLimit : samples);
}

class DriveRegistry {
public:
    static DriveRegistry& Instance();

    // Looks for the drives again and fills `list`.
    void List(DriveListBuffer& list);
    // A new handle on the listed drive with the request's address; 0 if none.
    HCDROM Open(const HandleRequest& request);
    bool Close(HCDROM handle);
    std::shared_ptr<OpenHandle> Find(HCDROM handle);

private:
    void Enumerate();  // with mutex_ held

    std::mutex mutex_;
    bool listed_ = false;
    std::vector<DriveEntry> drives_;
    std::map<HCDROM, std::shared_ptr<OpenHandle>> handles_;
    HCDROM nextHandle_ = 1;
};

}  // namespace akrip
