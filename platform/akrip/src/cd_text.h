// CD-Text as the library hands it out: one line per text, "<FIELD>
// <track>=<text>", track 0 for the disc.
#pragma once

#include <string>
#include <string_view>

#include "disc_toc.h"

namespace akrip {

// The CD-Text lines of `toc` (empty when it has none). Line breaks inside a
// text become blanks, so every text stays on its line.
std::string CdTextLines(const DiscToc& toc);

// `text` unchanged when it is valid UTF-8, else read as Latin-1 (the
// CD-Text character set) and written as UTF-8.
std::string TextToUtf8(std::string_view text);

}  // namespace akrip
