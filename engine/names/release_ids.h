// MusicBrainz's identifiers of a release and its tracks (disc_model.h's
// ReleaseIds and TrackIds): how they are checked, kept in Cadrix's disc
// files as lines of their own, and read back.
#pragma once

#include <string>
#include <string_view>

#include "disc/disc_model.h"
#include "names/disc_names.h"

namespace cadrix {

// True for a MusicBrainz identifier: a UUID in lower-case hexadecimal,
// "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx".
bool IsMusicBrainzId(std::string_view text);

// `text` when it is a list of identifiers separated by blanks (a single one
// included), else empty. At most 16 are kept.
std::string CheckedIdList(std::string_view text);

// `text` when it is a barcode (8 to 14 digits, as EAN, UPC and JAN have
// them), else empty.
std::string CheckedBarcode(std::string_view text);

// The lines of the known identifiers of `names` for tracks 1..last:
// MBRELEASE=, MBRELEASEGROUP=, MBARTISTS=, BARCODE=, and per track
// MBRECORDINGn=, MBTRACKn=, MBTARTISTSn=.
void AppendIdLines(std::string& text, const DiscNames& names, int32_t last);

// Applies one of those lines to `record`; false for any other line. A value
// that is no identifier (list) or barcode is dropped.
bool ApplyIdLine(std::string_view line, DriveRecord& record);

}  // namespace cadrix
