#include "drive_registry.h"

#include <cstdlib>
#include <cstring>
#include <set>

#include "virtual_drive.h"

namespace akrip {

std::vector<std::string> ParseVirtualDriveFolders(std::string_view value) {
    std::vector<std::string> folders;
    while (!value.empty()) {
        const size_t colon = value.find(':');
        std::string_view folder = value.substr(0, colon);
        if (!folder.empty()) folders.emplace_back(folder);
        if (colon == std::string_view::npos) break;
        value.remove_prefix(colon + 1);
    }
    return folders;
}

namespace {

uint32_t AddressKey(uint8_t host, uint8_t target, uint8_t lun) {
    return uint32_t{host} << 16 | uint32_t{target} << 8 | lun;
}

std::string FolderName(std::string_view folder) {
    while (folder.size() > 1 && folder.ends_with('/')) folder.remove_suffix(1);
    if (size_t slash = folder.rfind('/'); slash != std::string_view::npos && slash + 1 < folder.size()) {
        folder.remove_prefix(slash + 1);
    }
    return std::string(folder.substr(0, 16));
}

}  // namespace

std::vector<DriveEntry> BuildDriveList(const std::vector<PhysicalDriveInfo>& physical,
                                       const std::vector<std::string>& folders) {
    std::vector<DriveEntry> drives;
    std::vector<bool> needsAddress;
    std::set<uint32_t> taken;
    for (const PhysicalDriveInfo& info : physical) {
        if (drives.size() == AKRIP_MAX_DRIVES) break;
        drives.push_back({true, info.device, info.hostAdapter, info.target, info.lun, info.product.substr(0, 16)});
        const bool keeps = info.addressed && taken.insert(AddressKey(info.hostAdapter, info.target, info.lun)).second;
        needsAddress.push_back(!keeps);
    }
    for (size_t k = 0; k < folders.size() && drives.size() < AKRIP_MAX_DRIVES; ++k) {
        drives.push_back({false, folders[k], 0, 0, 0, FolderName(folders[k])});
        needsAddress.push_back(true);
    }
    // Free addresses: host adapters kVirtualHostAdapter..255, then targets.
    uint32_t next = 0;
    for (size_t k = 0; k < drives.size(); ++k) {
        if (!needsAddress[k]) continue;
        for (;; ++next) {
            const auto host = static_cast<uint8_t>(kVirtualHostAdapter + next % (256 - kVirtualHostAdapter));
            const auto target = static_cast<uint8_t>(next / (256 - kVirtualHostAdapter));
            if (taken.insert(AddressKey(host, target, 0)).second) {
                drives[k].hostAdapter = host;
                drives[k].target = target;
                drives[k].lun = 0;
                break;
            }
        }
    }
    return drives;
}

DriveRegistry& DriveRegistry::Instance() {
    static DriveRegistry registry;
    return registry;
}

void DriveRegistry::Enumerate() {
    const char* folders = std::getenv("CADRIX_VIRTUAL_DRIVES");
    const char* devices = std::getenv("CADRIX_CD_DEVICES");
    drives_ = BuildDriveList(MergeNamedDevices(devices ? devices : "", FindPhysicalDrives()),
                             ParseVirtualDriveFolders(folders ? folders : ""));
    listed_ = true;
}

void DriveRegistry::List(DriveListBuffer& list) {
    std::lock_guard lock(mutex_);
    Enumerate();
    list.count = static_cast<uint8_t>(drives_.size());
    for (size_t k = 0; k < drives_.size(); ++k) {
        DriveListEntry& entry = list.entries[k];
        std::memset(&entry, 0, sizeof entry);
        entry.hostAdapter = drives_[k].hostAdapter;
        entry.target = drives_[k].target;
        entry.lun = drives_[k].lun;
        std::memcpy(entry.productId, drives_[k].product.data(), drives_[k].product.size());
    }
}

HCDROM DriveRegistry::Open(const HandleRequest& request) {
    std::lock_guard lock(mutex_);
    if (!listed_) Enumerate();
    for (const DriveEntry& entry : drives_) {
        if (entry.hostAdapter != request.hostAdapter || entry.target != request.target || entry.lun != request.lun) {
            continue;
        }
        auto handle = std::make_shared<OpenHandle>();
        if (entry.physical) {
            handle->drive = std::make_unique<PhysicalDrive>(entry.location);
            const char* offset = std::getenv("CADRIX_READ_OFFSET");
            if (offset) handle->drive->SetReadOffset(ClampReadOffset(std::strtol(offset, nullptr, 10)));
        } else {
            handle->drive = std::make_unique<VirtualDrive>(entry.location);
        }
        while (nextHandle_ == 0 || handles_.contains(nextHandle_)) ++nextHandle_;
        const HCDROM id = nextHandle_++;
        handles_.emplace(id, std::move(handle));
        return id;
    }
    return 0;
}

bool DriveRegistry::Close(HCDROM handle) {
    std::shared_ptr<OpenHandle> closing;
    {
        std::lock_guard lock(mutex_);
        auto it = handles_.find(handle);
        if (it == handles_.end()) return false;
        closing = std::move(it->second);
        handles_.erase(it);
    }
    // A call still running on the handle keeps it alive until it returns.
    return true;
}

std::shared_ptr<OpenHandle> DriveRegistry::Find(HCDROM handle) {
    std::lock_guard lock(mutex_);
    auto it = handles_.find(handle);
    return it == handles_.end() ? nullptr : it->second;
}

}  // namespace akrip
