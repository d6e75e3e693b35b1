#include "names/disc_names.h"

#include "names/release_ids.h"

#include <algorithm>
#include <vector>

#include "names/genre_table.h"
#include "names/name_limits.h"
#include "util/utf8_text.h"

namespace cadrix {

namespace {

bool IsControl(uint32_t code) { return code < 0x20 || (code >= 0x7F && code <= 0x9F); }

// `text` cut to `maxBytes` on a character boundary, without a blank at its end.
void Cut(std::string& text, size_t maxBytes) {
    text.resize(CutUtf8(text, maxBytes).size());
    while (!text.empty() && text.back() == ' ') text.pop_back();
}

// Cuts `first` and `second` so that "<first> - <second>" (or `second` alone
// when `first` is empty) takes at most `budget` bytes; a text within half of
// the room stays whole.
void FitPair(std::string& first, std::string& second, size_t budget) {
    constexpr size_t kJoin = 3;  // " - "
    if (first.empty()) return Cut(second, budget);
    if (first.size() + kJoin + second.size() <= budget) return;
    const size_t room = budget - kJoin;
    if (first.size() <= room / 2) return Cut(second, room - first.size());
    if (second.size() <= room / 2) return Cut(first, room - second.size());
    Cut(first, room / 2);
    Cut(second, room - first.size());
}

void AppendLine(std::string& text, std::string_view key, std::string_view value) {
    if (value.empty()) return;
    text.append(key).append(value).push_back('\n');
}

}  // namespace

std::string CleanText(std::string_view text) {
    std::string clean;
    clean.reserve(std::min(text.size(), MAX_NAME_BYTES * 2));
    bool pendingBlank = false;
    for (size_t i = 0; i < text.size() && clean.size() <= MAX_NAME_BYTES;) {
        char32_t code = 0;
        size_t length = Utf8Sequence(text, i, code);
        const bool latin1 = length == 0;
        if (latin1) {
            code = static_cast<unsigned char>(text[i]);
            length = 1;
        }
        if (code == ' ' || IsControl(code)) {
            pendingBlank = !clean.empty();
        } else {
            if (pendingBlank) clean.push_back(' ');
            pendingBlank = false;
            if (latin1) {
                cadrix::text::AppendUtf8(clean, code);
            } else {
                clean.append(text.substr(i, length));
            }
        }
        i += length;
    }
    if (clean.size() > MAX_NAME_BYTES) {
        size_t cut = MAX_NAME_BYTES;
        while (cut > 0 && (static_cast<unsigned char>(clean[cut]) & 0xC0) == 0x80) --cut;
        clean.resize(cut);
        while (!clean.empty() && clean.back() == ' ') clean.pop_back();
    }
    return clean;
}

void CleanNames(DiscNames& names) {
    for (std::string* text : {&names.artist, &names.title, &names.year, &names.country, &names.genre}) {
        *text = CleanText(*text);
    }
    for (TrackNames& track : names.tracks) {
        track.artist = CleanText(track.artist);
        track.title = CleanText(track.title);
    }
    const bool inSet = names.setSize >= 2 && names.setSize <= 99 && names.setNumber >= 1 &&
                       names.setNumber <= names.setSize;
    if (!inSet) names.setNumber = names.setSize = 0;
}

std::string DiscFileText(const DiscNames& found, int32_t trackCount, std::string_view comment) {
    DiscNames names = found;
    CleanNames(names);
    const int32_t last = std::min(trackCount, TRACK_SLOTS - 1);
    bool compilation = false;
    for (int32_t t = 1; t <= last; ++t) {
        const std::string& artist = names.tracks[static_cast<size_t>(t)].artist;
        compilation = compilation || (!artist.empty() && artist != names.artist);
    }
    // Folder and file names are made of these texts: cut so that every rip
    // of the disc can be named (a set's title gets " (n)" appended).
    FitPair(names.artist, names.title, MAX_SAVED_FOLDER_NAME - (names.setNumber != 0 ? 5 : 0));
    for (int32_t t = 1; t <= last; ++t) {
        TrackNames& track = names.tracks[static_cast<size_t>(t)];
        if (compilation) {
            FitPair(track.artist, track.title, MAX_SAVED_TRACK_PART);
        } else {
            Cut(track.title, MAX_SAVED_TRACK_PART);
        }
    }

    std::string text;
    AppendLine(text, "# ", CleanText(comment));
    AppendLine(text, "DARTIST=", names.artist);
    AppendLine(text, "DTITLE=", names.title);
    AppendLine(text, "DYEAR=", names.year);
    AppendLine(text, "REGION=", names.country);
    if (const int32_t genre = NearestGenre(names.genre); genre >= 0) {
        AppendLine(text, "DGENRE1=", std::to_string(genre));
    }
    AppendLine(text, "DCOMP=", compilation ? "1" : "0");
    if (names.setNumber != 0) {
        AppendLine(text, "DSET=", std::to_string(names.setSize));
        AppendLine(text, "DSETNUMBER=", std::to_string(names.setNumber));
    }
    for (int32_t t = 1; t <= last; ++t) {
        const TrackNames& track = names.tracks[static_cast<size_t>(t)];
        AppendLine(text, "TARTIST" + std::to_string(t) + "=", track.artist);
        AppendLine(text, "TTITLE" + std::to_string(t) + "=", track.title);
    }
    AppendIdLines(text, names, last);
    return text;
}

std::string DescribeRelease(const ReleaseCandidate& release) {
    const DiscNames& names = release.names;
    std::string line = names.artist.empty() ? names.title : names.artist + " - " + names.title;
    if (line.empty()) line = "(no title)";
    std::vector<std::string> facts;
    for (const std::string* fact : {&names.year, &names.country, &release.label, &release.format}) {
        if (!fact->empty()) facts.push_back(*fact);
    }
    if (release.trackCount > 0)
        facts.push_back(std::to_string(release.trackCount) + (release.trackCount == 1 ? " track" : " tracks"));
    if (names.setNumber != 0) {
        facts.push_back("disc " + std::to_string(names.setNumber) + " of " + std::to_string(names.setSize));
    }
    for (size_t k = 0; k < facts.size(); ++k) line += (k == 0 ? " (" : ", ") + facts[k];
    if (!facts.empty()) line += ")";
    return line;
}

}  // namespace cadrix
