// cadrix-rip's exit statuses.
#pragma once

namespace cadrix::rip {

constexpr int EXIT_COMPLETE = 0;
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_ABORTED = 130;  // Ctrl-C, as a shell reports SIGINT

}  // namespace cadrix::rip
