#include "names/musicbrainz_lookup.h"

#include <discid/discid.h>

#include <algorithm>
#include <charconv>
#include <memory>
#include <optional>

#include "cd_geometry.h"
#include "names/release_ids.h"
#include "util/xml_tree.h"

namespace cadrix {

namespace {

using std::chrono::milliseconds;

constexpr size_t kMaxReleases = 20;
// The web service allows one request a second from a client.
constexpr milliseconds kRequestInterval{1000};
constexpr std::string_view kSource = "MusicBrainz";

struct DiscIdDeleter {
    void operator()(DiscId* disc) const { discid_free(disc); }
};

int ParseCount(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? value : 0;
}

// The credited name: each credit's name as credited (else the artist's
// name) followed by its join phrase ("A feat. B").
std::string CreditedName(const XmlElement* credit) {
    std::string name;
    if (credit == nullptr) return name;
    for (const XmlElement* part : credit->Children("name-credit")) {
        std::string_view credited = part->ChildText("name");
        if (const XmlElement* artist = part->Child("artist"); credited.empty() && artist != nullptr) {
            credited = artist->ChildText("name");
        }
        name.append(credited).append(part->Attribute("joinphrase"));
    }
    return name;
}

// The name of the genre with the most votes in the element's genre list.
std::string TopGenre(const XmlElement* entity) {
    const XmlElement* list = entity != nullptr ? entity->Child("genre-list") : nullptr;
    if (list == nullptr) return {};
    std::string_view best;
    int bestVotes = -1;
    for (const XmlElement* genre : list->Children("genre")) {
        const int votes = ParseCount(genre->Attribute("count"));
        if (votes > bestVotes) {
            best = genre->ChildText("name");
            bestVotes = votes;
        }
    }
    return std::string(best);
}

std::string Year(std::string_view date) {
    const bool digits = date.size() >= 4 &&
                        std::all_of(date.begin(), date.begin() + 4, [](char c) { return c >= '0' && c <= '9'; });
    return digits ? std::string(date.substr(0, 4)) : std::string();
}

// The medium that carries `discId`, or the only medium of the release.
const XmlElement* FindMedium(const std::vector<const XmlElement*>& media, std::string_view discId) {
    for (const XmlElement* medium : media) {
        const XmlElement* discs = medium->Child("disc-list");
        if (discs == nullptr) continue;
        for (const XmlElement* disc : discs->Children("disc")) {
            if (disc->Attribute("id") == discId) return medium;
        }
    }
    return media.size() == 1 ? media.front() : nullptr;
}

// The identifiers of the artists of a credit, separated by blanks.
std::string CreditIds(const XmlElement* credit) {
    std::string ids;
    if (credit == nullptr) return ids;
    for (const XmlElement* part : credit->Children("name-credit")) {
        const XmlElement* artist = part->Child("artist");
        if (artist == nullptr) continue;
        ids.append(ids.empty() ? "" : " ").append(artist->Attribute("id"));
    }
    return CheckedIdList(ids);
}

void ReadTracks(const std::vector<const XmlElement*>& tracks, const DiscQuery& disc, DiscNames& names) {
    size_t next = 0;
    for (int32_t t = 1; t <= disc.trackCount && next < tracks.size(); ++t) {
        if (disc.IsData(t)) continue;
        const XmlElement& track = *tracks[next++];
        const XmlElement* recording = track.Child("recording");
        const XmlElement* credit = track.Child("artist-credit");
        if (credit == nullptr && recording != nullptr) credit = recording->Child("artist-credit");
        std::string_view title = track.ChildText("title");
        if (title.empty() && recording != nullptr) title = recording->ChildText("title");
        TrackNames& slot = names.tracks[static_cast<size_t>(t)];
        slot.title = title;
        slot.artist = CreditedName(credit);
        slot.ids.track = CheckedIdList(track.Attribute("id"));
        if (recording != nullptr) slot.ids.recording = CheckedIdList(recording->Attribute("id"));
        slot.ids.artists = CreditIds(credit);
    }
}

std::optional<ReleaseCandidate> ReadRelease(const XmlElement& release, const DiscQuery& disc, std::string_view discId) {
    const XmlElement* mediumList = release.Child("medium-list");
    if (mediumList == nullptr) return std::nullopt;
    const std::vector<const XmlElement*> media = mediumList->Children("medium");
    const XmlElement* medium = FindMedium(media, discId);
    const XmlElement* trackList = medium != nullptr ? medium->Child("track-list") : nullptr;
    if (trackList == nullptr) return std::nullopt;
    const std::vector<const XmlElement*> tracks = trackList->Children("track");
    if (tracks.size() != static_cast<size_t>(disc.AudioTrackCount())) return std::nullopt;

    ReleaseCandidate candidate;
    candidate.source = kSource;
    candidate.format = CleanText(medium->ChildText("format"));
    candidate.trackCount = static_cast<int32_t>(tracks.size());
    DiscNames& names = candidate.names;
    names.title = release.ChildText("title");
    names.artist = CreditedName(release.Child("artist-credit"));
    names.year = Year(release.ChildText("date"));
    names.country = release.ChildText("country");
    names.genre = TopGenre(&release);
    if (names.genre.empty()) names.genre = TopGenre(release.Child("release-group"));
    if (const XmlElement* labels = release.Child("label-info-list")) {
        const XmlElement* info = labels->Child("label-info");
        const XmlElement* label = info != nullptr ? info->Child("label") : nullptr;
        if (label != nullptr) candidate.label = CleanText(label->ChildText("name"));
    }
    // The list may hold only the matching medium; its count tells the set's size.
    names.setSize = std::max(ParseCount(mediumList->Attribute("count")), static_cast<int>(media.size()));
    names.setNumber = ParseCount(medium->ChildText("position"));
    names.ids.release = CheckedIdList(release.Attribute("id"));
    if (const XmlElement* group = release.Child("release-group")) {
        names.ids.releaseGroup = CheckedIdList(group->Attribute("id"));
    }
    names.ids.artists = CreditIds(release.Child("artist-credit"));
    names.ids.barcode = CheckedBarcode(release.ChildText("barcode"));
    ReadTracks(tracks, disc, names);
    CleanNames(names);
    return candidate;
}

}  // namespace

std::string MusicBrainzDiscId(const DiscQuery& disc) {
    const int32_t last = disc.LastAudioTrack();
    if (last < 1) return {};
    const uint32_t leadout = disc.AudioEnd();
    int offsets[100] = {};
    offsets[0] = static_cast<int>(leadout + cd::kLeadInFrames);
    for (int32_t t = 1; t <= last; ++t) offsets[t] = static_cast<int>(disc.Start(t) + cd::kLeadInFrames);
    std::unique_ptr<DiscId, DiscIdDeleter> id(discid_new());
    if (!id || discid_put(id.get(), 1, last, offsets) == 0) return {};
    return discid_get_id(id.get());
}

std::string MusicBrainzToc(const DiscQuery& disc) {
    const int32_t last = disc.LastAudioTrack();
    if (last < 1) return {};
    std::string toc = "1 " + std::to_string(last) + " " + std::to_string(disc.AudioEnd() + cd::kLeadInFrames);
    for (int32_t t = 1; t <= last; ++t) toc += " " + std::to_string(disc.Start(t) + cd::kLeadInFrames);
    return toc;
}

std::string MusicBrainzSubmissionUrl(const DiscQuery& disc, std::string_view server) {
    const std::string id = MusicBrainzDiscId(disc);
    if (id.empty() || server.empty()) return {};
    std::string toc = MusicBrainzToc(disc);
    std::replace(toc.begin(), toc.end(), ' ', '+');
    return std::string(server) + "/cdtoc/attach?id=" + id + "&tracks=" + std::to_string(disc.LastAudioTrack()) +
           "&toc=" + toc;
}

LookupReply ParseMusicBrainzReply(std::string_view xml, const DiscQuery& disc, std::string_view discId) {
    LookupReply reply;
    const std::optional<XmlElement> root = ParseXml(xml);
    if (!root || root->name != "metadata") {
        reply.status = LookupStatus::Failed;
        reply.reason = "MusicBrainz: the reply is not a well-formed MusicBrainz document";
        return reply;
    }
    const XmlElement* discElement = root->Child("disc");
    const XmlElement* list = discElement != nullptr ? discElement->Child("release-list") : nullptr;
    if (list != nullptr) {
        for (const XmlElement* release : list->Children("release")) {
            if (reply.releases.size() == kMaxReleases) break;
            if (auto candidate = ReadRelease(*release, disc, discId)) reply.releases.push_back(std::move(*candidate));
        }
    }
    const std::string audio = std::to_string(disc.AudioTrackCount());
    if (reply.releases.empty()) {
        reply.reason = "MusicBrainz: no release of disc id " + std::string(discId) + " has the disc's " + audio +
                       " audio tracks";
        return reply;
    }
    reply.status = LookupStatus::Found;
    reply.reason = "MusicBrainz: " + std::to_string(reply.releases.size()) + " release(s) for disc id " +
                   std::string(discId);
    return reply;
}

LookupReply LookUpMusicBrainz(const DiscQuery& disc, const LookupContext& context) {
    LookupReply reply;
    if (context.musicBrainzServer.empty()) {
        reply.status = LookupStatus::Failed;
        reply.reason = "MusicBrainz: CADRIX_MUSICBRAINZ_SERVER is not an http:// or https:// address";
        return reply;
    }
    const std::string discId = MusicBrainzDiscId(disc);
    if (discId.empty()) {
        reply.reason = "MusicBrainz: the disc has no audio track";
        return reply;
    }
    const HttpResponse response = context.Get(
        context.musicBrainzServer + "/ws/2/discid/" + discId +
            "?inc=artist-credits+labels+recordings+release-groups+genres&cdstubs=no",
        kRequestInterval);
    if (response.outcome == HttpOutcome::Ok && response.status == 404) {
        reply.reason = "MusicBrainz: disc id " + discId + " is not known";
        return reply;
    }
    if (response.outcome != HttpOutcome::Ok || response.status != 200) {
        reply.status = LookupStatus::Failed;
        reply.reason = "MusicBrainz: " + DescribeFailure(response);
        return reply;
    }
    return ParseMusicBrainzReply(response.body, disc, discId);
}

}  // namespace cadrix
