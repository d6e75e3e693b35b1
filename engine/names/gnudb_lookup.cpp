#include "names/gnudb_lookup.h"

#include <algorithm>
#include <charconv>

#include "cd_geometry.h"
#include "util/build_info.h"

namespace cadrix {

namespace {

constexpr size_t kMaxMatches = 3;
constexpr std::string_view kPrefix = "gnudb: ";

// The lines of a reply without their CR LF or LF; reading stops at a line
// holding only "." (the end of a list or an entry).
std::vector<std::string_view> ReplyLines(std::string_view body) {
    std::vector<std::string_view> lines;
    while (!body.empty()) {
        const size_t end = body.find('\n');
        std::string_view line = body.substr(0, end);
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (line == ".") break;
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        body.remove_prefix(end + 1);
    }
    return lines;
}

int StatusCode(const std::vector<std::string_view>& lines) {
    if (lines.empty() || lines[0].size() < 3) return 0;
    int code = 0;
    const auto [end, error] = std::from_chars(lines[0].data(), lines[0].data() + 3, code);
    return error == std::errc() && end == lines[0].data() + 3 ? code : 0;
}

bool IsLower(char c) { return c >= 'a' && c <= 'z'; }
bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

// "<category> <discid> <title>": the category and id go into a URL, so only
// letters and hexadecimal digits pass.
bool ReadMatch(std::string_view line, GnudbMatch& match) {
    const size_t space = line.find(' ');
    if (space == std::string_view::npos) return false;
    std::string_view category = line.substr(0, space);
    std::string id(line.substr(space + 1, line.find(' ', space + 1) - space - 1));
    std::transform(id.begin(), id.end(), id.begin(),
                   [](char c) { return c >= 'A' && c <= 'F' ? static_cast<char>(c - 'A' + 'a') : c; });
    if (category.empty() || category.size() > 20 || !std::all_of(category.begin(), category.end(), IsLower))
        return false;
    if (id.size() != 8 || !std::all_of(id.begin(), id.end(), IsHex)) return false;
    match.category = category;
    match.discId = id;
    return true;
}

// The protocol's escapes; a line break in a title becomes a blank.
std::string Unescape(std::string_view value) {
    std::string text;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            text.push_back(value[i]);
            continue;
        }
        const char next = value[++i];
        text.push_back(next == 'n' || next == 't' ? ' ' : next == '\\' ? '\\' : next);
    }
    return text;
}

// Splits "Artist / Title"; false when there is no " / ".
bool SplitArtist(std::string_view text, std::string& artist, std::string& title) {
    const size_t slash = text.find(" / ");
    if (slash == std::string_view::npos) return false;
    artist = text.substr(0, slash);
    title = text.substr(slash + 3);
    return true;
}

struct XmcdEntry {
    std::string discTitle, year, genre;
    std::vector<std::string> titles;  // index n: TTITLEn, track n + 1
    bool beyondDisc = false;
};

void ApplyXmcdLine(std::string_view line, int32_t trackCount, XmcdEntry& entry) {
    const size_t equals = line.find('=');
    if (line.starts_with('#') || equals == std::string_view::npos) return;
    const std::string_view key = line.substr(0, equals);
    const std::string value = Unescape(line.substr(equals + 1));
    if (key == "DTITLE") {
        entry.discTitle += value;
    } else if (key == "DYEAR") {
        entry.year += value;
    } else if (key == "DGENRE") {
        entry.genre += value;
    } else if (key.starts_with("TTITLE")) {
        const std::string_view digits = key.substr(6);
        int index = -1;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), index);
        if (error != std::errc() || end != digits.data() + digits.size() || digits.size() > 2 || index < 0) return;
        if (index >= trackCount) {
            entry.beyondDisc = true;
            return;
        }
        if (entry.titles.size() <= static_cast<size_t>(index)) entry.titles.resize(static_cast<size_t>(index) + 1);
        entry.titles[static_cast<size_t>(index)] += value;
    }
}

void NameTracks(const XmcdEntry& entry, DiscNames& names) {
    const bool everyTrackHasArtist = std::all_of(entry.titles.begin(), entry.titles.end(), [](const std::string& t) {
        return t.empty() || t.find(" / ") != std::string::npos;
    });
    for (size_t n = 0; n < entry.titles.size(); ++n) {
        TrackNames& slot = names.tracks[n + 1];
        if (!everyTrackHasArtist || !SplitArtist(entry.titles[n], slot.artist, slot.title)) {
            slot.title = entry.titles[n];
        }
    }
}

// The disc id as the protocol writes it: eight lower-case hexadecimal digits.
std::string HexId(uint32_t discId) {
    char id[9];
    const auto end = std::to_chars(id, id + sizeof id, discId, 16).ptr;
    return std::string(8 - static_cast<size_t>(end - id), '0') + std::string(id, end);
}

std::string Hello() { return "hello=cadrix+localhost+Cadrix+" + std::string(ClientVersion()) + "&proto=6"; }

}  // namespace

std::string GnudbQueryCommand(const DiscQuery& disc) {
    std::string command = "cddb+query+" + HexId(disc.discId);
    command += "+" + std::to_string(disc.trackCount);
    for (int32_t t = 1; t <= disc.trackCount; ++t) command += "+" + std::to_string(disc.Start(t) + cd::kLeadInFrames);
    command += "+" + std::to_string((disc.Start(disc.trackCount + 1) + cd::kLeadInFrames) / 75);
    return command;
}

GnudbMatches ParseGnudbQueryReply(std::string_view body) {
    GnudbMatches result;
    const std::vector<std::string_view> lines = ReplyLines(body);
    const int code = StatusCode(lines);
    if (code == 202) {
        result.reason = "gnudb: no entry matches the disc";
        return result;
    }
    std::vector<std::string_view> listed;
    if (code == 200 && lines[0].size() > 4) listed.push_back(lines[0].substr(4));
    result.exact = code == 200;
    if (code == 210 || code == 211) listed.assign(lines.begin() + 1, lines.end());
    for (std::string_view line : listed) {
        GnudbMatch match;
        if (result.matches.size() < kMaxMatches && ReadMatch(line, match)) result.matches.push_back(match);
    }
    if (result.matches.empty()) {
        result.status = LookupStatus::Failed;
        result.reason = "gnudb: unexpected reply to the query: " + CleanText(lines.empty() ? "" : lines[0]);
        return result;
    }
    result.status = LookupStatus::Found;
    return result;
}

std::optional<ReleaseCandidate> ParseGnudbEntry(std::string_view body, std::string_view category, const DiscQuery& disc,
                                                std::string& reason) {
    const std::vector<std::string_view> lines = ReplyLines(body);
    if (StatusCode(lines) != 210) {
        reason = "gnudb: unexpected reply to the read: " + CleanText(lines.empty() ? "" : lines[0]);
        return std::nullopt;
    }
    XmcdEntry entry;
    for (size_t k = 1; k < lines.size(); ++k) ApplyXmcdLine(lines[k], disc.trackCount, entry);
    if (entry.beyondDisc) {
        reason = "gnudb: the entry names more tracks than the disc's " + std::to_string(disc.trackCount);
        return std::nullopt;
    }
    ReleaseCandidate candidate;
    candidate.source = "gnudb";
    candidate.trackCount = static_cast<int32_t>(entry.titles.size());
    DiscNames& names = candidate.names;
    if (!SplitArtist(entry.discTitle, names.artist, names.title)) names.artist = names.title = entry.discTitle;
    names.year = entry.year;
    names.genre = entry.genre.empty() ? std::string(category) : entry.genre;
    NameTracks(entry, names);
    CleanNames(names);
    const bool named = !names.title.empty() || std::any_of(names.tracks.begin(), names.tracks.end(),
                                                           [](const auto& t) { return !t.title.empty(); });
    if (!named) {
        reason = "gnudb: the entry names nothing";
        return std::nullopt;
    }
    return candidate;
}

LookupReply LookUpGnudb(const DiscQuery& disc, const LookupContext& context) {
    LookupReply reply;
    reply.status = LookupStatus::Failed;
    if (context.gnudbServer.empty()) {
        reply.reason = "gnudb: CADRIX_GNUDB_SERVER is not an http:// or https:// address";
        return reply;
    }
    const std::string base = context.gnudbServer + "/~cddb/cddb.cgi?cmd=";
    HttpResponse response = context.Get(base + GnudbQueryCommand(disc) + "&" + Hello(), {});
    if (response.outcome != HttpOutcome::Ok || response.status != 200) {
        reply.reason = std::string(kPrefix) + DescribeFailure(response);
        return reply;
    }
    const GnudbMatches found = ParseGnudbQueryReply(response.body);
    reply.status = found.status;
    reply.reason = found.reason;
    if (found.exact && !found.matches.empty() && found.matches[0].discId != HexId(disc.discId)) {
        reply.status = LookupStatus::Failed;
        reply.reason = "gnudb: its exact match is another disc's (" + found.matches[0].discId + ")";
        return reply;
    }
    for (const GnudbMatch& match : found.matches) {
        response = context.Get(base + "cddb+read+" + match.category + "+" + match.discId + "&" + Hello(), {});
        std::string why;
        if (response.outcome != HttpOutcome::Ok || response.status != 200) {
            why = std::string(kPrefix) + DescribeFailure(response);
        } else if (auto candidate = ParseGnudbEntry(response.body, match.category, disc, why)) {
            reply.releases.push_back(std::move(*candidate));
        }
        if (reply.releases.empty()) reply.reason = why;
    }
    if (!reply.releases.empty()) {
        reply.status = LookupStatus::Found;
        reply.reason = "gnudb: " + std::to_string(reply.releases.size()) + " entr" +
                       (reply.releases.size() == 1 ? "y" : "ies") + " for the disc";
    } else if (!found.matches.empty()) {
        reply.status = LookupStatus::Failed;
    }
    return reply;
}

}  // namespace cadrix
