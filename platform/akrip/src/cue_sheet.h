// Parser of CDRWIN cue sheets (.cue).
#pragma once

#include <optional>
#include <string_view>

#include "image_plan.h"

namespace akrip {

// Reads the text of a cue sheet. Keywords in any case, a UTF-8 BOM, quoted or
// unquoted file names, several FILE lines, INDEX 00/01, PREGAP/POSTGAP,
// FLAGS and "REM SESSION nn" are understood; BINARY, MOTOROLA and WAVE files.
// Returns nothing for a sheet that cannot describe a disc.
std::optional<ImagePlan> ParseCueSheet(std::string_view text);

}  // namespace akrip
