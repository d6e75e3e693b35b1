// cadrix-rip --find-offset: the read offset of a drive, found with a disc
// AccurateRip knows, printed and kept for the drive in the settings.
#pragma once

#include <csignal>

#include "disc/drive_set.h"
#include "rip_options.h"

namespace cadrix::rip {

// Finds the offset of drive options.drive, prints "Read offset: +667" and
// keeps it in the settings file for that drive. The exit status: 0 found
// and kept, 1 not found (the reason on standard error), 130 interrupted.
int FindOffset(DriveSet& drives, const RipOptions& options, const volatile std::sig_atomic_t& interrupted);

}  // namespace cadrix::rip
