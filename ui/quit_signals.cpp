#include "quit_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>

namespace cadrix {

namespace {

int g_pipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    // Async-signal-safe; a full pipe already holds a pending request.
    [[maybe_unused]] const ssize_t n = write(g_pipe[1], &byte, 1);
}

}  // namespace

QuitSignals::QuitSignals(QDialog* mainDialog) : mainDialog_(mainDialog) {
    retry_.setInterval(50);
    connect(&retry_, &QTimer::timeout, this, &QuitSignals::CloseTopDialog);
    if (g_pipe[0] < 0 && pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        char buffer[16];
        while (read(g_pipe[0], buffer, sizeof buffer) > 0) {}
        RequestQuit();
    });
    struct sigaction action {};
    action.sa_handler = &OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &action, nullptr);
}

QuitSignals::~QuitSignals() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &action, nullptr);
}

void QuitSignals::RequestQuit() { CloseTopDialog(); }

void QuitSignals::CloseTopDialog() {
    // A dialog above the main one (progress, message, chooser, About) goes
    // first; its modal loop must return before the main dialog may end.
    auto* top = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (top != nullptr && top != mainDialog_) {
        top->reject();
        retry_.start();
        return;
    }
    retry_.stop();
    // Before the main dialog runs (a start-up message was closed above) its
    // start-up ends the program by itself.
    if (mainDialog_->isVisible()) mainDialog_->reject();
}

}  // namespace cadrix
