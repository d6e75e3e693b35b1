// The 804-byte TOC record handed out by ReadTOC.
#pragma once

#include "akrip_records.h"
#include "disc_toc.h"

namespace akrip {

// Fills `record` (zeroed first) from `toc`: addresses as LBA, or as
// 0/minutes/seconds/frames (LSN + 150) while `msf` is set.
void FillTocRecord(const DiscToc& toc, bool msf, TocBuffer& record);

}  // namespace akrip
