// The cue sheet a whole-disc rip leaves beside its files ("<disc folder
// name>.cue"): the files of the run in gaps-appended form, so that what reads
// it (cdrdao, libcdio, Cadrix's own virtual drive) finds the disc's layout:
// the same track starts, pregaps, index points, codes and flags.
#pragma once

#include <array>
#include <string>

#include "disc/disc_model.h"

namespace cadrix {

// The file each track went to, by track number (0: the hidden track one
// audio), as a name in the sheet's folder; empty where none was written.
using TrackFiles = std::array<std::string, TRACK_SLOTS>;

// The sheet for `disc` whose audio tracks (and hidden audio, when it has
// some) are in `files`: a pregap lies at the end of the file before its
// track (INDEX 00 there), the hidden audio's file is track 1's INDEX 00, a
// silent or unreadable stretch before track 1 is a PREGAP. Texts are the
// disc's names; a double quote in them becomes a single one. Empty when a
// track's file is missing (the disc is not whole in `files`).
std::string CueSheetText(const DriveRecord& disc, const TrackFiles& files);

// Writes `text` as `folder`/<folder's own name>.cue, whole or not at all,
// replacing the sheet of an earlier rip of the disc. False with the reason.
bool WriteCueSheet(const std::string& folder, const std::string& text, std::string& path, std::string& error);

}  // namespace cadrix
