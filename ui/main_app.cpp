// Cadrix's entry point: the single-instance guard, then the main dialog,
// run modally until the user closes it.
#include <signal.h>

#include <QApplication>
#include <QStyle>

#include "app_icon.h"
#include "main_dialog.h"
#include "quit_signals.h"
#include "single_instance.h"

namespace {

// The application object: the guard, the main dialog's modal run, the end.
class MainApp {
public:
    int InitInstance(int argc, char** argv);
};

MainApp theApp;

int MainApp::InitInstance(int argc, char** argv) {
    // A quit request that arrives while the program starts waits until it
    // can be handled the orderly way (QuitSignals below).
    sigset_t quitSignals;
    sigemptyset(&quitSignals);
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&quitSignals, sig);
    pthread_sigmask(SIG_BLOCK, &quitSignals, nullptr);
    // A file-size limit fails the write like a full disk instead of ending
    // the program in the middle of a file.
    signal(SIGXFSZ, SIG_IGN);

    // Before any Qt object: a second copy ends here silently, without
    // needing a display.
    cadrix::SingleInstance marker;
    if (marker.Acquire() == cadrix::SingleInstance::Result::AlreadyRunning) return 0;

    int status = 0;
    {
        QApplication app(argc, argv);
        QApplication::setApplicationName(QStringLiteral("cadrix"));
        // No display name: the platform would append it to every window
        // title after a dash; each dialog's caption is exactly its own.
        QApplication::setDesktopFileName(QStringLiteral("cadrix"));
        // The classic look throughout, whatever colour scheme the desktop uses.
        QApplication::setStyle(QStringLiteral("Windows"));
        QApplication::setPalette(QApplication::style()->standardPalette());
        QApplication::setWindowIcon(cadrix::AppIcon());

        cadrix::MainDialog dialog;
        cadrix::QuitSignals quit(&dialog);
        pthread_sigmask(SIG_UNBLOCK, &quitSignals, nullptr);
        if (dialog.OnInitDialog()) {
            dialog.exec();
        } else {
            status = 1;  // the start-up message has been shown
        }
    }
    marker.Release();
    return status;
}

}  // namespace

int main(int argc, char** argv) { return theApp.InitInstance(argc, argv); }
