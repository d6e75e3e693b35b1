// The Vorbis comments of one track, as cadrix_ogg and cadrix_flac write them.
#ifndef CADRIX_VORBIS_TRACK_TAGS_H
#define CADRIX_VORBIS_TRACK_TAGS_H

#include <string>
#include <vector>

#include "cadrix_plugin.h"

struct VorbisTag {
    const char* name;   // upper-case field name, e.g. "TITLE"
    std::string value;  // UTF-8, never empty
};

// TITLE, ARTIST, ALBUM, ALBUMARTIST (compilations only), GENRE, DATE (the
// year), TRACKNUMBER, TRACKTOTAL, DISCNUMBER (discs of a set), COMMENT, and
// from the disc's sub-channel ISRC, BARCODE (the media catalog number) and
// PRE_EMPHASIS=yes, in that order, then the MusicBrainz identifiers and the
// release's barcode when the disc gave none (MUSICBRAINZ_ALBUMID... as
// MusicBrainz Picard writes them, one comment per identifier); a missing
// value gives no comment. `info` may be null and
// its texts may be null (both count as empty).
std::vector<VorbisTag> VorbisTrackTags(const OutputTrackInfo* info, const OutputTrackExtras& extras);

// One host text as a comment value (UTF-8); empty when the text is null or empty.
std::string VorbisTagText(const char* text);

#endif
