// CD-Text, the names some discs carry themselves: a name source that needs
// no network, asked before the online ones.
#pragma once

#include "names/name_source.h"

namespace cadrix {

// The names in disc.cdText (lines "TITLE 0=...", "PERFORMER 3=...",
// "SONGWRITER 1=..." as the drive library gives them; track 0 is the disc).
// Found when the disc has a title or a track has one; without CD-Text the
// reply is NotFound with no reason.
LookupReply LookUpCdText(const DiscQuery& disc, const LookupContext& context);

}  // namespace cadrix
