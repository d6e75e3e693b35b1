// Names from gnudb: the CDDB protocol over HTTP ("cddb query" for the
// entries that match the disc, "cddb read" for an entry in xmcd format),
// protocol level 6, whose texts are UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "names/name_source.h"

namespace cadrix {

// The public service; CADRIX_GNUDB_SERVER replaces it.
constexpr std::string_view GNUDB_DEFAULT_SERVER = "https://gnudb.gnudb.org";

struct GnudbMatch {
    std::string category;  // lower-case letters only
    std::string discId;    // eight lower-case hexadecimal digits
};

struct GnudbMatches {
    LookupStatus status = LookupStatus::NotFound;
    std::string reason;
    std::vector<GnudbMatch> matches;  // at most three, when Found
    bool exact = false;               // code 200: the one match claims to be this very disc
};

// "cddb+query+<id>+<tracks>+<offset>...+<seconds>": the disc's CDDB id, every
// track of the TOC (data tracks too) by its start frame counted from the
// disc's absolute start, and the lead-out in seconds.
std::string GnudbQueryCommand(const DiscQuery& disc);

// The reply to "cddb query": 200 (one exact match), 210/211 (a list ended by
// "."), 202 (none); any other code, or a match with an unsafe category or
// id, is a failure.
GnudbMatches ParseGnudbQueryReply(std::string_view body);

// The reply to "cddb read" (code 210 and an xmcd entry ended by "."). A
// value split over several lines is joined; "\n", "\t" and "\\" are
// unescaped. "DTITLE=Artist / Title" names both (without " / " the title is
// the artist too), and so does every track title when all of them have
// " / ". Nullopt, with `reason`, for another code or an entry naming a track
// beyond the disc's or naming nothing.
std::optional<ReleaseCandidate> ParseGnudbEntry(std::string_view body, std::string_view category, const DiscQuery& disc,
                                                std::string& reason);

// Asks the server of context.gnudbServer: a query, then a read of each of
// up to three matches. An exact match for another disc id than the disc's
// is refused: its names would be kept under this disc's id.
LookupReply LookUpGnudb(const DiscQuery& disc, const LookupContext& context);

}  // namespace cadrix
