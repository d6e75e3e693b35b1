#include "disc_monitor.h"

#include <libudev.h>

#include <cstring>

namespace cadrix {

namespace {

// An optical drive's event that can mean a disc came or went. The eject
// button's request says nothing reliable about the media and is skipped;
// the media change that follows it is what counts.
bool IsDiscEvent(udev_device* device) {
    const char* cdrom = udev_device_get_property_value(device, "ID_CDROM");
    if (cdrom == nullptr || std::strcmp(cdrom, "1") != 0) return false;
    const char* eject = udev_device_get_property_value(device, "DISK_EJECT_REQUEST");
    return eject == nullptr || std::strcmp(eject, "1") != 0;
}

}  // namespace

DiscMonitor::DiscMonitor(QObject* parent) : QObject(parent) {
    coalesce_.setSingleShot(true);
    coalesce_.setInterval(150);
    connect(&coalesce_, &QTimer::timeout, this, &DiscMonitor::deviceChanged);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { Notify(); });
}

DiscMonitor::~DiscMonitor() { Stop(); }

QStringList DiscMonitor::VirtualDriveFolders() {
    const QString list = qEnvironmentVariable("CADRIX_VIRTUAL_DRIVES");
    QStringList folders;
    for (const QString& folder : list.split(QLatin1Char(':'), Qt::SkipEmptyParts)) folders << folder;
    return folders;
}

bool DiscMonitor::Start() { return Start(VirtualDriveFolders()); }

bool DiscMonitor::Start(const QStringList& virtualDriveFolders) {
    Stop();
    udev_ = udev_new();
    if (udev_ != nullptr) monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (monitor_ != nullptr && udev_monitor_filter_add_match_subsystem_devtype(monitor_, "block", "disk") >= 0 &&
        udev_monitor_enable_receiving(monitor_) >= 0) {
        notifier_ = std::make_unique<QSocketNotifier>(udev_monitor_get_fd(monitor_), QSocketNotifier::Read);
        connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { DrainUdev(); });
    } else {
        if (monitor_ != nullptr) udev_monitor_unref(monitor_);
        monitor_ = nullptr;
    }
    for (const QString& folder : virtualDriveFolders) watcher_.addPath(folder);
    return notifier_ != nullptr || !watcher_.directories().isEmpty();
}

void DiscMonitor::Stop() {
    coalesce_.stop();
    notifier_.reset();
    if (monitor_ != nullptr) udev_monitor_unref(monitor_);
    monitor_ = nullptr;
    if (udev_ != nullptr) udev_unref(udev_);
    udev_ = nullptr;
    if (!watcher_.directories().isEmpty()) watcher_.removePaths(watcher_.directories());
}

void DiscMonitor::DrainUdev() {
    if (monitor_ == nullptr) return;
    bool relevant = false;
    // The socket is non-blocking: read until the queue is empty.
    while (udev_device* device = udev_monitor_receive_device(monitor_)) {
        if (IsDiscEvent(device)) relevant = true;
        udev_device_unref(device);
    }
    if (relevant) Notify();
}

void DiscMonitor::Notify() { coalesce_.start(); }

}  // namespace cadrix
