// cadrix-rip's online lookup: names the discs that no database file names
// before they are listed or extracted, and the --lookup-only mode.
#pragma once

#include <csignal>

#include "disc/drive_set.h"
#include "rip_options.h"

namespace cadrix::rip {

// Looks up the disc of every drive (--list) or of drive options.drive that
// no database file names (from its CD-Text alone when `online` is false), saves release options.release of what is
// found into Cadrix's own disc folder and reads the drive again. What was found goes to standard output with
// --lookup-only and to standard error otherwise; why nothing was found, in one line, to standard error. An interrupt (a
// nonzero `interrupted`) cancels the lookup in progress. The exit status: 0 to go on (for --lookup-only: the disc is
// named), else the status to end with.
int NameDiscs(DriveSet& drives, const RipOptions& options, bool online, const volatile std::sig_atomic_t& interrupted);

}  // namespace cadrix::rip
