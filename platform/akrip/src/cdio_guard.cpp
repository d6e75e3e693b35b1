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
        // Messages below the default level return before libcdio's
        // re-entry guard (an assert that fires when two threads log at
        // once), so reads on two handles can log without this lock.
        cdio_loglevel_default = static_cast<cdio_log_level_t>(CDIO_LOG_ASSERT + 1);
        handlerInstalled = true;
    }
    return lock;
}

void InstallCdioLogHandler() { LockCdio(); }

}  // namespace akrip
