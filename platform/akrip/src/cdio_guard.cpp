#include "cdio_guard.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>

namespace akrip {
namespace {

// libcdio reports through this handler; a library never writes to the
// caller's terminal or ends its process, so the messages are dropped.
void QuietLogHandler(cdio_log_level_t, const char*) {}

std::mutex& CdioMutex() {
    static std::mutex mutex;
    return mutex;
}

bool handlerInstalled = false;  // guarded by CdioMutex()

}  // namespace

std::unique_lock<std::mutex> LockCdio() {
    std::unique_lock lock(CdioMutex());
    if (!handlerInstalled) {
        cdio_log_set_handler(QuietLogHandler);
        handlerInstalled = true;
    }
    return lock;
}

void InstallCdioLogHandler() { LockCdio(); }

}  // namespace akrip
