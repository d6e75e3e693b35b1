#include "drive_discovery.h"

#include <cdio/cdio.h>
#include <dirent.h>
#include <libudev.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

#include "cdio_guard.h"

namespace akrip {
namespace {

struct UdevDeleter {
    void operator()(udev* p) const { udev_unref(p); }
    void operator()(udev_enumerate* p) const { udev_enumerate_unref(p); }
    void operator()(udev_device* p) const { udev_device_unref(p); }
};
template <typename T>
using UdevPtr = std::unique_ptr<T, UdevDeleter>;

std::string ProductText(std::string model) {
    if (!model.empty() && model.back() == '\n') model.pop_back();
    model.resize(16, ' ');  // drives report it blank-padded to 16 characters
    return model;
}

std::string ReadSysfsLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::vector<PhysicalDriveInfo> FindWithUdev() {
    std::vector<PhysicalDriveInfo> drives;
    UdevPtr<udev> context(udev_new());
    if (!context) return drives;
    UdevPtr<udev_enumerate> enumerate(udev_enumerate_new(context.get()));
    if (!enumerate) return drives;
    udev_enumerate_add_match_subsystem(enumerate.get(), "block");
    udev_enumerate_add_match_property(enumerate.get(), "ID_CDROM", "1");
    if (udev_enumerate_scan_devices(enumerate.get()) < 0) return drives;
    for (udev_list_entry* entry = udev_enumerate_get_list_entry(enumerate.get()); entry;
         entry = udev_list_entry_get_next(entry)) {
        UdevPtr<udev_device> device(udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
        if (!device || !udev_device_get_devnode(device.get())) continue;
        PhysicalDriveInfo info;
        info.device = udev_device_get_devnode(device.get());
        // The parent is owned by `device`.
        udev_device* scsi = udev_device_get_parent_with_subsystem_devtype(device.get(), "scsi", "scsi_device");
        info.addressed = false;
        if (scsi) {
            ParseScsiAddress(udev_device_get_sysname(scsi), info);
            const char* model = udev_device_get_sysattr_value(scsi, "model");
            info.product = ProductText(model ? model : "");
        } else {
            info.product = ProductText("");
        }
        drives.push_back(std::move(info));
    }
    return drives;
}

std::vector<PhysicalDriveInfo> FindWithSysfs() {
    std::vector<PhysicalDriveInfo> drives;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir("/sys/block"), ::closedir);
    if (!dir) return drives;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name.starts_with('.')) continue;
        const std::string base = "/sys/block/" + name + "/device";
        if (ReadSysfsLine(base + "/type") != "5") continue;
        PhysicalDriveInfo info;
        info.device = "/dev/" + name;
        char link[PATH_MAX] = {};
        ssize_t length = ::readlink(base.c_str(), link, sizeof link - 1);
        info.addressed = false;
        if (length > 0) {
            std::string target(link, static_cast<size_t>(length));
            ParseScsiAddress(target.substr(target.rfind('/') + 1), info);
        }
        info.product = ProductText(ReadSysfsLine(base + "/model"));
        drives.push_back(std::move(info));
    }
    std::sort(drives.begin(), drives.end(),
              [](const PhysicalDriveInfo& a, const PhysicalDriveInfo& b) { return a.device < b.device; });
    return drives;
}

// The INQUIRY model of a device that answers as a CD-ROM drive; empty if not.
std::string InquiryModel(const std::string& device) {
    const auto lock = LockCdio();
    CdIo_t* cdio = cdio_open(device.c_str(), DRIVER_LINUX);
    if (!cdio) return {};
    cdio_hwinfo_t info{};
    std::string model;
    if (cdio_get_hwinfo(cdio, &info))
        model = std::string(info.psz_model, strnlen(info.psz_model, sizeof info.psz_model));
    cdio_destroy(cdio);
    return model;
}

PhysicalDriveInfo NamedDevice(const std::string& device) {
    PhysicalDriveInfo info;
    info.device = device;
    info.addressed = false;
    struct stat status {};
    if (::stat(device.c_str(), &status) == 0 && S_ISBLK(status.st_mode)) {
        const std::string sysfs = "/sys/dev/block/" + std::to_string(major(status.st_rdev)) + ":" +
                                  std::to_string(minor(status.st_rdev)) + "/device";
        char link[PATH_MAX] = {};
        if (const ssize_t length = ::readlink(sysfs.c_str(), link, sizeof link - 1); length > 0) {
            const std::string target(link, static_cast<size_t>(length));
            ParseScsiAddress(target.substr(target.rfind('/') + 1), info);
        }
    }
    std::string model = InquiryModel(device);
    if (model.empty()) model = device.substr(device.rfind('/') + 1);
    info.product = ProductText(model.substr(0, 16));
    return info;
}

bool SameDevice(const std::string& a, const std::string& b) {
    if (a == b) return true;
    struct stat first {
    }, second{};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && S_ISBLK(first.st_mode) &&
           S_ISBLK(second.st_mode) && first.st_rdev == second.st_rdev;
}

}  // namespace

bool ParseScsiAddress(const std::string& text, PhysicalDriveInfo& info) {
    unsigned host = 0, channel = 0, target = 0, lun = 0;
    char end = 0;
    if (std::sscanf(text.c_str(), "%u:%u:%u:%u%c", &host, &channel, &target, &lun, &end) != 4) return false;
    // The drive list holds a byte each: a larger number (a USB drive plugged
    // in again, a second channel) is no address, never a cut-down one.
    if (host > 255 || channel != 0 || target > 255 || lun > 255) return false;
    info.hostAdapter = static_cast<uint8_t>(host);
    info.target = static_cast<uint8_t>(target);
    info.lun = static_cast<uint8_t>(lun);
    info.addressed = true;
    return true;
}

std::vector<PhysicalDriveInfo> FindPhysicalDrives() {
    std::vector<PhysicalDriveInfo> drives = FindWithUdev();
    return drives.empty() ? FindWithSysfs() : drives;
}

std::vector<PhysicalDriveInfo> MergeNamedDevices(std::string_view value, std::vector<PhysicalDriveInfo> found) {
    std::vector<PhysicalDriveInfo> drives;
    while (!value.empty()) {
        const size_t colon = value.find(':');
        const std::string device(value.substr(0, colon));
        const bool listed = std::any_of(drives.begin(), drives.end(),
                                        [&device](const PhysicalDriveInfo& d) { return SameDevice(d.device, device); });
        if (!device.empty() && !listed) drives.push_back(NamedDevice(device));
        if (colon == std::string_view::npos) break;
        value.remove_prefix(colon + 1);
    }
    for (PhysicalDriveInfo& info : found) {
        const bool listed = std::any_of(drives.begin(), drives.end(), [&info](const PhysicalDriveInfo& d) {
            return SameDevice(d.device, info.device);
        });
        if (!listed) drives.push_back(std::move(info));
    }
    return drives;
}

}  // namespace akrip
