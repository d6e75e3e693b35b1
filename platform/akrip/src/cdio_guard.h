// Process-wide protection around libcdio: its opens, TOC queries and log
// output are not thread-safe, and its default log handler ends the process.
#pragma once

#include <mutex>

namespace akrip {

// Held around opening and closing libcdio handles and reading TOCs (reads
// hold only their handle's lock). The first lock replaces libcdio's log
// handler by one that never exits and silences logging altogether.
std::unique_lock<std::mutex> LockCdio();

// Replaces the log handler now (at load time); idempotent.
void InstallCdioLogHandler();

}  // namespace akrip
