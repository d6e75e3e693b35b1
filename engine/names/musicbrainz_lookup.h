// Names from MusicBrainz (XML web service version 2): the disc's MusicBrainz
// disc id, computed with libdiscid, and the releases that carry it.
#pragma once

#include <string>
#include <string_view>

#include "names/name_source.h"

namespace cadrix {

// The public service; CADRIX_MUSICBRAINZ_SERVER replaces it.
constexpr std::string_view MUSICBRAINZ_DEFAULT_SERVER = "https://musicbrainz.org";

// The disc id of `disc` as MusicBrainz computes it: every track up to the
// last audio track; after an Enhanced CD's audio session (trailing data
// tracks) the lead-out is the first data track's start less the 11400
// frames of the session gap. Empty when the disc has no audio track.
std::string MusicBrainzDiscId(const DiscQuery& disc);

// The disc's table of contents as MusicBrainz and libdiscid write it: first
// and last audio track, the lead-out and each track's start, in sectors from
// the start of the lead-in (150 more than the TOC's addresses), separated by
// blanks. The lead-out is the one MusicBrainzDiscId uses. Empty without audio.
std::string MusicBrainzToc(const DiscQuery& disc);

// The page where a MusicBrainz user attaches the disc to a release (or adds
// one): <server>/cdtoc/attach?id=<disc id>&tracks=<last audio track>&toc=<the
// TOC with '+' between its numbers>. Empty without audio or without server.
std::string MusicBrainzSubmissionUrl(const DiscQuery& disc, std::string_view server);

// The releases of a discid lookup reply for disc id `discId`. Only a release
// with a medium that carries the disc id (or its single medium) whose track
// list has exactly the disc's audio tracks is kept, at most 20; its tracks
// name the audio tracks in order.
LookupReply ParseMusicBrainzReply(std::string_view xml, const DiscQuery& disc, std::string_view discId);

// Asks the server of context.musicBrainzServer, at most once a second.
LookupReply LookUpMusicBrainz(const DiscQuery& disc, const LookupContext& context);

}  // namespace cadrix
