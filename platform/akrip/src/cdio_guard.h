// Process-wide protection around libcdio: its opens, TOC queries and log
// output are not thread-safe, and its default log handler ends the process.
#pragma once

#include <mutex>

namespace akrip {

// Held around every libcdio and paranoia call. The first lock replaces
// libcdio's log handler by one that never exits.
std::unique_lock<std::mutex> LockCdio();

// Replaces the log handler now (at load time); idempotent.
void InstallCdioLogHandler();

}  // namespace akrip
