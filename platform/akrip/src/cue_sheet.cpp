#include "cue_sheet.h"

#include <map>

#include "sheet_lexer.h"

namespace akrip {
namespace {

struct TrackMode {
    std::string_view name;
    bool audio;
    uint32_t sectorBytes;
};

constexpr TrackMode kTrackModes[] = {
    {"AUDIO", true, 2352},      {"MODE1/2048", false, 2048}, {"MODE1/2352", false, 2352},
    {"MODE2/2048", false, 2048}, {"MODE2/2324", false, 2324}, {"MODE2/2336", false, 2336},
    {"MODE2/2352", false, 2352}, {"CDI/2336", false, 2336},   {"CDI/2352", false, 2352},
};

// A position that starts a run of the disc: INDEX 00 or 01 of a track.
struct Mark {
    int track;
    int file;
    int64_t sector;  // counted in the file, as written in the sheet
    bool index1;
};

struct CueTrack {
    PlanTrack plan;
    int number = 0;
    int64_t pregap = 0;
    int64_t postgap = 0;
    bool hasIndex0 = false;
    bool hasIndex1 = false;
    int64_t lastIndex = -1;
};

std::optional<FileFormat> FileType(std::string_view word) {
    if (SheetKeywordIs(word, "BINARY")) return FileFormat::RawLittleEndian;
    if (SheetKeywordIs(word, "MOTOROLA")) return FileFormat::RawBigEndian;
    if (SheetKeywordIs(word, "WAVE")) return FileFormat::WaveLittleEndian;
    return std::nullopt;  // AIFF, MP3 and the like would need decoding
}

// Turns the INDEX marks into the pieces of each track.
bool BuildPieces(std::vector<CueTrack>& tracks, const std::vector<Mark>& marks, int fileCount) {
    struct FileCursor {
        int64_t sector = 0;
        uint64_t byte = 0;
        uint32_t sectorBytes = 0;
        bool used = false;
    };
    std::vector<FileCursor> cursors(static_cast<size_t>(fileCount));
    std::vector<uint64_t> markBytes(marks.size());
    for (size_t j = 0; j < marks.size(); ++j) {
        const Mark& mark = marks[j];
        FileCursor& cursor = cursors[static_cast<size_t>(mark.file)];
        uint32_t own = tracks[static_cast<size_t>(mark.track)].plan.sectorBytes;
        uint64_t byte;
        if (cursor.used) {
            byte = cursor.byte + static_cast<uint64_t>(mark.sector - cursor.sector) * cursor.sectorBytes;
        } else {
            // The start of a file continues the track of the previous mark, if any.
            uint32_t before =
                j > 0 ? tracks[static_cast<size_t>(marks[j - 1].track)].plan.sectorBytes : own;
            byte = static_cast<uint64_t>(mark.sector) * before;
        }
        cursor = {mark.sector, byte, own, true};
        markBytes[j] = byte;
    }

    for (size_t j = 0; j < marks.size(); ++j) {
        const Mark& mark = marks[j];
        CueTrack& track = tracks[static_cast<size_t>(mark.track)];
        auto& pieces = track.plan.pieces;
        const bool startsTrack = j == 0 || marks[j - 1].track != mark.track;
        const bool endsTrack = j + 1 == marks.size() || marks[j + 1].track != mark.track;
        const uint32_t sectorBytes = track.plan.sectorBytes;
        if (startsTrack && track.pregap > 0) {
            pieces.push_back({-1, 0, static_cast<uint64_t>(track.pregap) * sectorBytes, false});
        }
        if (mark.index1) {
            track.plan.index1Piece = pieces.size();
            track.plan.index1Sectors = 0;
        }
        if (j + 1 < marks.size() && marks[j + 1].file == mark.file) {
            pieces.push_back({mark.file, markBytes[j], markBytes[j + 1] - markBytes[j], false});
        } else {
            pieces.push_back({mark.file, markBytes[j], std::nullopt, false});
            const int lastFile = j + 1 < marks.size() ? marks[j + 1].file : fileCount;
            for (int f = mark.file + 1; f < lastFile; ++f) {
                pieces.push_back({f, 0, std::nullopt, false});
            }
            if (j + 1 < marks.size() && markBytes[j + 1] > 0) {
                pieces.push_back({marks[j + 1].file, 0, markBytes[j + 1], false});
            }
        }
        if (endsTrack && track.postgap > 0) {
            pieces.push_back({-1, 0, static_cast<uint64_t>(track.postgap) * sectorBytes, false});
        }
    }
    return true;
}

}  // namespace

std::optional<ImagePlan> ParseCueSheet(std::string_view text) {
    ImagePlan plan;
    std::vector<CueTrack> tracks;
    std::vector<Mark> marks;
    std::map<int, int64_t> lastSectorInFile;
    int session = 1;

    for (std::string_view line : SplitSheetLines(text)) {
        std::vector<SheetToken> words = TokenizeSheetLine(line, false);
        if (words.empty() || words[0].quoted) continue;
        const std::string& keyword = words[0].text;
        CueTrack* track = tracks.empty() ? nullptr : &tracks.back();

        if (SheetKeywordIs(keyword, "FILE")) {
            if (words.size() < 3) return std::nullopt;
            auto format = FileType(words.back().text);
            if (!format) return std::nullopt;
            PlanFile file;
            file.format = *format;
            if (words[1].quoted || words.size() == 3) {
                file.name = words[1].text;
            } else {
                for (size_t i = 1; i + 1 < words.size(); ++i) {
                    if (i > 1) file.name += ' ';
                    file.name += words[i].text;
                }
            }
            if (file.name.empty()) return std::nullopt;
            plan.files.push_back(std::move(file));
        } else if (SheetKeywordIs(keyword, "TRACK")) {
            if (plan.files.empty() || words.size() < 3) return std::nullopt;
            if (track && !track->hasIndex1) return std::nullopt;
            if (tracks.size() >= kMaxTracks) return std::nullopt;
            auto number = ParseSheetNumber(words[1].text, kMaxTracks);
            if (!number || *number < 1 || (track && *number <= track->number)) return std::nullopt;
            const TrackMode* mode = nullptr;
            for (const TrackMode& candidate : kTrackModes) {
                if (SheetKeywordIs(words[2].text, candidate.name)) mode = &candidate;
            }
            if (!mode) return std::nullopt;
            CueTrack next;
            next.number = static_cast<int>(*number);
            next.plan.audio = mode->audio;
            next.plan.sectorBytes = mode->sectorBytes;
            next.plan.session = session;
            tracks.push_back(std::move(next));
        } else if (SheetKeywordIs(keyword, "INDEX")) {
            if (!track || words.size() < 3) return std::nullopt;
            auto number = ParseSheetNumber(words[1].text, 99);
            auto sector = ParseMsf(words[2].text);
            if (!number || !sector) return std::nullopt;
            const int file = static_cast<int>(plan.files.size()) - 1;
            auto last = lastSectorInFile.find(file);
            if (last != lastSectorInFile.end() && *sector < last->second) return std::nullopt;
            if (*number <= track->lastIndex) return std::nullopt;
            if (*number == 0 && track->hasIndex0) return std::nullopt;
            if (*number > 1 && !track->hasIndex1) return std::nullopt;
            track->lastIndex = *number;
            lastSectorInFile[file] = *sector;
            if (*number <= 1) {
                const int trackIndex = static_cast<int>(tracks.size()) - 1;
                marks.push_back({trackIndex, file, *sector, *number == 1});
                (*number == 0 ? track->hasIndex0 : track->hasIndex1) = true;
            }
        } else if (SheetKeywordIs(keyword, "PREGAP") || SheetKeywordIs(keyword, "POSTGAP")) {
            if (!track || words.size() < 2) return std::nullopt;
            auto length = ParseMsf(words[1].text);
            if (!length) return std::nullopt;
            if (SheetKeywordIs(keyword, "PREGAP")) {
                if (track->lastIndex >= 0) return std::nullopt;
                track->pregap = *length;
            } else {
                if (!track->hasIndex1) return std::nullopt;
                track->postgap = *length;
            }
        } else if (SheetKeywordIs(keyword, "FLAGS")) {
            if (!track) return std::nullopt;
            for (size_t i = 1; i < words.size(); ++i) {
                if (SheetKeywordIs(words[i].text, "DCP")) track->plan.flags |= 0x02;
                if (SheetKeywordIs(words[i].text, "PRE")) track->plan.flags |= 0x01;
                if (SheetKeywordIs(words[i].text, "4CH")) track->plan.flags |= 0x08;
            }
        } else if (SheetKeywordIs(keyword, "REM")) {
            if (words.size() >= 3 && SheetKeywordIs(words[1].text, "SESSION")) {
                auto number = ParseSheetNumber(words[2].text, 99);
                if (!number || *number < session) return std::nullopt;
                session = static_cast<int>(*number);
            }
        }
        // CATALOG, PERFORMER, TITLE, SONGWRITER, ISRC, CDTEXTFILE: nothing to do.
    }
    if (tracks.empty() || !tracks.back().hasIndex1) return std::nullopt;
    if (!BuildPieces(tracks, marks, static_cast<int>(plan.files.size()))) return std::nullopt;
    for (CueTrack& track : tracks) plan.tracks.push_back(std::move(track.plan));
    return plan;
}

}  // namespace akrip
