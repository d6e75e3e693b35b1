#include "vorbis_track_tags.h"

#include "vorbis_comment_text.h"

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
    return tags;
}
