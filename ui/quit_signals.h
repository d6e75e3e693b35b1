// SIGTERM, SIGINT and SIGHUP end Cadrix the orderly way: the open dialogs
// are closed from the top down, so a run is aborted and its files closed,
// the settings are written and the instance marker is removed.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <memory>

class QDialog;

namespace cadrix {

class QuitSignals : public QObject {
    Q_OBJECT
public:
    // `mainDialog` is closed last, once every dialog above it has gone.
    explicit QuitSignals(QDialog* mainDialog);
    ~QuitSignals() override;

    // Starts the orderly close, as the signals do.
    void RequestQuit();

private:
    void CloseTopDialog();

    QDialog* mainDialog_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer retry_;
};

}  // namespace cadrix
