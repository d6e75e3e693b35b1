#include "cdio_guard.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>

namespace akrip {
namespace {

// libcdio reports through this handler; a library never writes to the
// caller's terminal or ends its process, so the messages are dropped.
void QuietLogHandler(cdio_log_level_t, const char*) {}

}  // namespace

std::mutex& CdioMutex() {
    static std::mutex mutex;
    return mutex;
}

void InstallCdioLogHandler() {
    std::lock_guard lock(CdioMutex());
    cdio_log_set_handler(QuietLogHandler);
}

}  // namespace akrip
