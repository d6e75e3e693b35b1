#include "vorbis_track_tags.h"

#include "vorbis_comment_text.h"

#include <string_view>

namespace {

void Add(std::vector<VorbisTag>& tags, const char* name, std::string value) {
    if (!value.empty()) tags.push_back({name, std::move(value)});
}

std::string Number(int32_t value) { return value > 0 ? std::to_string(value) : std::string(); }

// ISRC, BARCODE (the disc's media catalog number) and PRE_EMPHASIS, from
// the disc's sub-channel.
void AddDiscCodeTags(std::vector<VorbisTag>& tags, const OutputTrackExtras& extras) {
    Add(tags, "ISRC", extras.isrc != nullptr ? extras.isrc : "");
    Add(tags, "BARCODE", extras.catalog != nullptr ? extras.catalog : "");
    if (extras.preEmphasis != 0) Add(tags, "PRE_EMPHASIS", "yes");
}

// One comment per identifier of a blank-separated list.
void AddEach(std::vector<VorbisTag>& tags, const char* name, const char* list) {
    std::string_view rest = list != nullptr ? list : "";
    while (!rest.empty()) {
        const size_t blank = rest.find(' ');
        Add(tags, name, std::string(rest.substr(0, blank)));
        rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
    }
}

// The identifiers as MusicBrainz Picard names them in Vorbis comments (its
// "track id" is the recording's).
void AddMusicBrainzTags(std::vector<VorbisTag>& tags, const OutputTrackExtras& extras) {
    AddEach(tags, "MUSICBRAINZ_ALBUMID", extras.musicBrainzReleaseId);
    AddEach(tags, "MUSICBRAINZ_RELEASEGROUPID", extras.musicBrainzReleaseGroupId);
    AddEach(tags, "MUSICBRAINZ_ALBUMARTISTID", extras.musicBrainzAlbumArtistIds);
    AddEach(tags, "MUSICBRAINZ_TRACKID", extras.musicBrainzRecordingId);
    AddEach(tags, "MUSICBRAINZ_RELEASETRACKID", extras.musicBrainzTrackId);
    AddEach(tags, "MUSICBRAINZ_ARTISTID", extras.musicBrainzArtistIds);
    AddEach(tags, "MUSICBRAINZ_DISCID", extras.musicBrainzDiscId);
    // The disc's own catalog number, when it has one, is its barcode.
    if (extras.catalog == nullptr || *extras.catalog == '\0') AddEach(tags, "BARCODE", extras.barcode);
}

}  // namespace

std::string VorbisTagText(const char* text) {
    return text == nullptr || *text == '\0' ? std::string() : CommentTextToUtf8(text);
}

std::vector<VorbisTag> VorbisTrackTags(const OutputTrackInfo* info, const OutputTrackExtras& extras) {
    const OutputTrackInfo track = info ? *info : OutputTrackInfo{};
    std::vector<VorbisTag> tags;
    Add(tags, "TITLE", VorbisTagText(track.title));
    Add(tags, "ARTIST", VorbisTagText(track.artist));
    Add(tags, "ALBUM", VorbisTagText(track.album));
    // On other discs ARTIST already is the album's artist.
    if (extras.compilation != 0) Add(tags, "ALBUMARTIST", VorbisTagText(extras.albumArtist));
    Add(tags, "GENRE", VorbisTagText(track.genre));
    Add(tags, "DATE", VorbisTagText(track.year));
    Add(tags, "TRACKNUMBER", Number(track.trackNumber));
    Add(tags, "TRACKTOTAL", Number(extras.trackTotal));
    Add(tags, "DISCNUMBER", Number(extras.discNumber));
    Add(tags, "COMMENT", VorbisTagText(track.comment));
    AddDiscCodeTags(tags, extras);
    AddMusicBrainzTags(tags, extras);
    return tags;
}
