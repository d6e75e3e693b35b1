#include "names/cd_text_source.h"

#include <charconv>

namespace cadrix {

namespace {

// Applies one "FIELD track=text" line; other lines are passed over.
void ApplyLine(std::string_view line, int32_t trackCount, DiscNames& names) {
    const size_t blank = line.find(' ');
    const size_t equals = line.find('=');
    if (blank == std::string_view::npos || equals == std::string_view::npos || equals < blank) return;
    int track = -1;
    const std::string_view number = line.substr(blank + 1, equals - blank - 1);
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), track);
    if (error != std::errc() || end != number.data() + number.size() || track < 0 || track > trackCount) return;
    const std::string_view field = line.substr(0, blank);
    const std::string text(line.substr(equals + 1));
    if (track == 0) {
        if (field == "TITLE") names.title = text;
        if (field == "PERFORMER") names.artist = text;
        return;
    }
    TrackNames& slot = names.tracks[static_cast<size_t>(track)];
    if (field == "TITLE") slot.title = text;
    if (field == "PERFORMER") slot.artist = text;
}

}  // namespace

LookupReply LookUpCdText(const DiscQuery& disc, const LookupContext&) {
    LookupReply reply;
    if (disc.cdText.empty()) return reply;  // nothing to say: most discs have none
    ReleaseCandidate release;
    release.source = "CD-Text";
    release.format = "CD";
    release.trackCount = disc.AudioTrackCount();
    std::string_view text = disc.cdText;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        ApplyLine(text.substr(0, end), disc.trackCount, release.names);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    CleanNames(release.names);
    bool named = !release.names.title.empty();
    for (int32_t t = 1; t <= disc.trackCount && !named; ++t)
        named = !release.names.tracks[static_cast<size_t>(t)].title.empty();
    if (!named) {
        reply.reason = "CD-Text: no titles";
        return reply;
    }
    reply.status = LookupStatus::Found;
    reply.reason = "names from the disc's CD-Text";
    reply.releases.push_back(std::move(release));
    return reply;
}

}  // namespace cadrix
