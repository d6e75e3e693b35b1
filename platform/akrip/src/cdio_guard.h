// Process-wide protection around libcdio: its opens, TOC queries and log
// output are not thread-safe, and its default log handler ends the process.
#pragma once

#include <mutex>

namespace akrip {

// Held around every libcdio and paranoia call.
std::mutex& CdioMutex();

// Replaces libcdio's log handler by one that never exits; idempotent.
void InstallCdioLogHandler();

}  // namespace akrip
