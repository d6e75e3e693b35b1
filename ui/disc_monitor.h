// Tells the main dialog that a disc may have been inserted or removed: udev
// events of optical drives (media change, drive added or removed) and changes
// in the virtual drive folders listed in $CADRIX_VIRTUAL_DRIVES.
#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QSocketNotifier>
#include <QStringList>
#include <QTimer>

#include <memory>

struct udev;
struct udev_monitor;

namespace cadrix {

class DiscMonitor : public QObject {
    Q_OBJECT
public:
    explicit DiscMonitor(QObject* parent = nullptr);
    ~DiscMonitor() override;

    // Starts listening; `virtualDrives` defaults to $CADRIX_VIRTUAL_DRIVES.
    // True when at least one source (udev or a folder) is watched.
    bool Start();
    bool Start(const QStringList& virtualDriveFolders);
    void Stop();

    bool UdevActive() const { return notifier_ != nullptr; }
    QStringList WatchedFolders() const { return watcher_.directories(); }

    // The folders named by $CADRIX_VIRTUAL_DRIVES (':'-separated).
    static QStringList VirtualDriveFolders();

signals:
    // A burst of events within 150 ms comes out as one signal.
    void deviceChanged();

private:
    void DrainUdev();
    void Notify();

    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    std::unique_ptr<QSocketNotifier> notifier_;
    QFileSystemWatcher watcher_;
    QTimer coalesce_;
};

}  // namespace cadrix
