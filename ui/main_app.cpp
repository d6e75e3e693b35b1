// Cadrix's entry point: the single-instance guard, then the main dialog,
// run modally until the user closes it.
#include <QApplication>

#include "app_icon.h"
#include "main_dialog.h"
#include "quit_signals.h"
#include "single_instance.h"

namespace {

int RunCadrix(int argc, char** argv) {
    // Before any Qt object: a second copy ends here silently, without
    // needing a display.
    cadrix::SingleInstance marker;
    if (marker.Acquire() == cadrix::SingleInstance::Result::AlreadyRunning) return 0;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("cadrix"));
    QApplication::setApplicationDisplayName(QStringLiteral("Cadrix"));
    QApplication::setDesktopFileName(QStringLiteral("cadrix"));
    QApplication::setStyle(QStringLiteral("Windows"));
    QApplication::setWindowIcon(cadrix::AppIcon());

    int status = 0;
    {
        cadrix::MainDialog dialog;
        if (dialog.OnInitDialog()) {
            cadrix::QuitSignals quitSignals(&dialog);
            dialog.exec();
        } else {
            status = 1;
        }
    }
    marker.Release();
    return status;
}

}  // namespace

int main(int argc, char** argv) { return RunCadrix(argc, argv); }
