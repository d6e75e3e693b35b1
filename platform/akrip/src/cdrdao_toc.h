// Parser of cdrdao TOC files (.toc).
#pragma once

#include <optional>
#include <string_view>

#include "image_plan.h"

namespace akrip {

// Reads the text of a cdrdao TOC file: TRACK AUDIO/MODE1/MODE1_RAW/MODE2...,
// FILE/AUDIOFILE (raw big-endian, or .wav) with SWAP, #offset, start and
// length, DATAFILE, SILENCE, ZERO, PREGAP, START, copy and pre-emphasis
// flags; CD_TEXT blocks are skipped. Returns nothing for a file that cannot
// describe a disc.
std::optional<ImagePlan> ParseCdrdaoToc(std::string_view text);

}  // namespace akrip
