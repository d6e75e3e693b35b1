// Names found for a disc by a name source (an online service, CD-Text), the
// releases a chooser offers, and their text in the disc database format.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "disc/disc_model.h"
#include "names/cover_art.h"

namespace cadrix {

// The longest text kept from a source, in bytes of UTF-8.
constexpr size_t MAX_NAME_BYTES = 255;

struct TrackNames {
    std::string artist;
    std::string title;
    TrackIds ids{};
};

// UTF-8 texts; empty means unknown.
struct DiscNames {
    std::string artist;
    std::string title;                             // the album's title, without any set number
    std::string year;                              // four digits when known
    std::string country;                           // written as the region
    std::string genre;                             // the source's own genre name; mapped to GenreTable when written
    int32_t setNumber = 0;                         // the disc's position in a set of several, else 0
    int32_t setSize = 0;                           // the number of discs of that set, else 0
    std::array<TrackNames, TRACK_SLOTS> tracks{};  // slot t names track t of the disc
    ReleaseIds ids{};
};

// One release that matches the disc, as a chooser lists it.
struct ReleaseCandidate {
    std::string source;      // "MusicBrainz", "gnudb"
    std::string label;       // the first label, for the chooser only
    std::string format;      // "CD", "Enhanced CD"... for the chooser only
    int32_t trackCount = 0;  // tracks of the release's medium
    DiscNames names;
    CoverImage cover;  // the release's front cover; no bytes when none was found
};

// `text` as a name that is safe to keep: valid UTF-8 (a byte that is not
// part of a valid sequence is read as Latin-1), every control character
// (C0, DEL, C1) a blank, runs of blanks one blank, no blank at either end,
// and at most MAX_NAME_BYTES bytes without splitting a character.
std::string CleanText(std::string_view text);

// CleanText on every text of `names`, and a set position only within 1..99
// of a set of 2..99 discs.
void CleanNames(DiscNames& names);

// The disc database text naming a disc of `trackCount` tracks (lines
// DARTIST=, DTITLE=, DYEAR=, REGION=, DGENRE1= for a genre GenreTable has,
// DCOMP=, DSET= and DSETNUMBER= for a set, TARTISTn= and TTITLEn= for the
// named tracks 1..trackCount), LF line ends, texts cleaned. DCOMP=1 when a
// track's artist differs from the disc artist. The texts are cut (on a
// character boundary) so that the folder and file names made of them fit
// the naming limits (name_limits.h). `comment` becomes a first line
// "# comment", which the database reader skips.
std::string DiscFileText(const DiscNames& names, int32_t trackCount, std::string_view comment);

// One line for a listing: "Artist - Album (1999, GB, Label, CD, 12 tracks,
// disc 2 of 3)", leaving out what is unknown.
std::string DescribeRelease(const ReleaseCandidate& release);

}  // namespace cadrix
