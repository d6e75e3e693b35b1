// The disc layout as AkripGetDiscLayout hands it out.
#pragma once

#include "akrip_extras.h"
#include "drive.h"

namespace akrip {

// Fills `record` (zeroed by the caller) from `layout`: at most 99 tracks,
// AKRIP_LAYOUT_MAX_INDEXES index points a track (INDEX 02 on, in order;
// the first gap in their numbering ends them).
void FillLayoutRecord(const DiscLayout& layout, AkripDiscLayout& record);

}  // namespace akrip
