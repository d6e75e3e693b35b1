#include "output/cue_sheet.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "util/small_file.h"

namespace cadrix {

namespace {

std::string Quoted(std::string text) {
    for (char& c : text) {
        if (c == '"') c = '\'';
        if (c == '\n' || c == '\r') c = ' ';
    }
    return "\"" + text + "\"";
}

std::string FlagsLine(uint8_t control) {
    std::string flags;
    if (control & 0x02) flags += " DCP";
    if (control & 0x08) flags += " 4CH";
    if (control & 0x01) flags += " PRE";
    return flags.empty() ? std::string() : "    FLAGS" + flags + "\n";
}

std::string IndexLine(int index, int64_t frames) {
    char number[8];
    std::snprintf(number, sizeof number, "%02d", index);
    return std::string("    INDEX ") + number + " " + CueTime(frames) + "\n";
}

}  // namespace

std::string CueSheetText(const DriveRecord& disc, const TrackFiles& files) {
    const DiscLayout& layout = disc.layout;
    if (layout.tracks.empty()) return {};
    const bool hidden = layout.HasHiddenTrack();
    if (hidden && files[0].empty()) return {};
    std::string cue = "REM COMMENT \"Cadrix\"\n";
    if (!disc.genre.empty()) cue += "REM GENRE " + Quoted(disc.genre) + "\n";
    if (!disc.year.empty()) cue += "REM DATE " + disc.year + "\n";
    if (!layout.mcn.empty()) cue += "CATALOG " + layout.mcn + "\n";
    if (!disc.discArtist.empty()) cue += "PERFORMER " + Quoted(disc.discArtist) + "\n";
    if (!disc.discTitle.empty()) cue += "TITLE " + Quoted(disc.discTitle) + "\n";
    // Where the open file begins on the disc: index points are written
    // relative to it.
    int64_t fileStart = 0;
    if (hidden) cue += "FILE " + Quoted(files[0]) + " WAVE\n";
    for (size_t k = 0; k < layout.tracks.size() && k + 1 < TRACK_SLOTS; ++k) {
        const TrackLayout& track = layout.tracks[k];
        const int number = static_cast<int>(k + 1);
        if (track.IsData()) break;  // a data track (or session) ends what the files hold
        const std::string& file = files[static_cast<size_t>(number)];
        if (file.empty()) return {};
        // Gaps appended: a pregap is the end of the file before, the track's
        // own file opens at its INDEX 01.
        const bool pregapBefore = k == 0 ? hidden : track.index0 < track.index1;
        if (!pregapBefore) cue += "FILE " + Quoted(file) + " WAVE\n";
        char line[32];
        std::snprintf(line, sizeof line, "  TRACK %02d AUDIO\n", number);
        cue += line;
        const TrackRecord& names = disc.tracks[static_cast<size_t>(number)];
        if (!names.title.empty()) cue += "    TITLE " + Quoted(names.title) + "\n";
        const std::string& performer = disc.compilation != 0 ? names.artist : disc.discArtist;
        if (!performer.empty()) cue += "    PERFORMER " + Quoted(performer) + "\n";
        cue += FlagsLine(track.control);
        if (!track.isrc.empty()) cue += "    ISRC " + track.isrc + "\n";
        // Silence before track 1 (or audio the drive could not read) is in no file.
        if (k == 0 && !hidden && track.index1 > 0) cue += "    PREGAP " + CueTime(track.index1) + "\n";
        if (pregapBefore) {
            cue += IndexLine(0, track.index0 - fileStart);
            cue += "FILE " + Quoted(file) + " WAVE\n";
        }
        fileStart = track.index1;
        cue += IndexLine(1, 0);
        for (size_t i = 0; i < track.indexes.size(); ++i) {
            cue += IndexLine(static_cast<int>(i + 2), track.indexes[i] - fileStart);
        }
    }
    return cue;
}

bool WriteCueSheet(const std::string& folder, const std::string& text, std::string& path, std::string& error) {
    std::string leaf = folder;
    while (leaf.size() > 1 && leaf.back() == '/') leaf.pop_back();
    leaf = leaf.substr(leaf.rfind('/') + 1);
    path = folder + "/" + leaf + ".cue";
    errno = 0;
    if (ReplaceFileAtomically(path, text, 0644)) return true;
    error = "cannot write '" + path + "': " + std::strerror(errno != 0 ? errno : EIO);
    return false;
}

}  // namespace cadrix
