#include "disc_names.h"

#include <algorithm>
#include <vector>

#include "genre_table.h"

namespace cadrix {

namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length of the valid UTF-8 sequence at text[i] (overlong forms,
// surrogates and code points above U+10FFFF are not valid), or 0; its code
// point in `code`.
size_t ValidSequence(std::string_view text, size_t i, uint32_t& code) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > text.size() || byte(1) < low || byte(1) > high) return 0;
    code = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if (!IsContinuation(byte(k))) return 0;
        code = (code << 6) | (byte(k) & 0x3F);
    }
    return length;
}

bool IsControl(uint32_t code) { return code < 0x20 || (code >= 0x7F && code <= 0x9F); }

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
        uint32_t code = 0;
        size_t length = ValidSequence(text, i, code);
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
                clean.push_back(static_cast<char>(0xC0 | (code >> 6)));
                clean.push_back(static_cast<char>(0x80 | (code & 0x3F)));
            } else {
                clean.append(text.substr(i, length));
            }
        }
        i += length;
    }
    if (clean.size() > MAX_NAME_BYTES) {
        size_t cut = MAX_NAME_BYTES;
        while (cut > 0 && IsContinuation(static_cast<unsigned char>(clean[cut]))) --cut;
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
    if (release.trackCount > 0) facts.push_back(std::to_string(release.trackCount) + (release.trackCount == 1 ? " track" : " tracks"));
    if (names.setNumber != 0) {
        facts.push_back("disc " + std::to_string(names.setNumber) + " of " + std::to_string(names.setSize));
    }
    for (size_t k = 0; k < facts.size(); ++k) line += (k == 0 ? " (" : ", ") + facts[k];
    if (!facts.empty()) line += ")";
    return line;
}

}  // namespace cadrix
