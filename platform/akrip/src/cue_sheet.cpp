#include "cue_sheet.h"

#include <algorithm>
#include <map>

#include "sheet_lexer.h"

namespace akrip {
namespace {

using F = SectorFormat;
constexpr SheetTrackMode kTrackModes[] = {
    {"AUDIO", true, 2352, F::Audio, kDiscTypeCdda},          {"MODE1/2048", false, 2048, F::Mode1, kDiscTypeCdda},
    {"MODE1/2352", false, 2352, F::Raw, kDiscTypeCdda},      {"MODE2/2048", false, 2048, F::Mode2Form1, kDiscTypeXa},
    {"MODE2/2324", false, 2324, F::Mode2Form2, kDiscTypeXa}, {"MODE2/2336", false, 2336, F::Mode2, kDiscTypeXa},
    {"MODE2/2352", false, 2352, F::Raw, kDiscTypeXa},        {"CDI/2336", false, 2336, F::Mode2, kDiscTypeCdi},
    {"CDI/2352", false, 2352, F::Raw, kDiscTypeCdi},
};

// A position that starts a run of the disc: an INDEX of a track.
struct Mark {
    int track;
    int file;
    int64_t sector;  // counted in the file, as written in the sheet
    int index;
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
            uint32_t before = j > 0 ? tracks[static_cast<size_t>(marks[j - 1].track)].plan.sectorBytes : own;
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
        if (mark.index == 1) {
            track.plan.index1Piece = pieces.size();
            track.plan.index1Sectors = 0;
        } else if (mark.index > 1) {
            track.plan.indexes.push_back({mark.index, pieces.size(), 0});
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

// The sheet read line by line; each keyword's handler returns false when the
// line makes the sheet no disc.
class CueParser {
public:
    bool Line(const std::vector<SheetToken>& words) {
        const std::string& keyword = words[0].text;
        track_ = tracks_.empty() ? nullptr : &tracks_.back();
        if (SheetKeywordIs(keyword, "FILE")) return File(words);
        if (SheetKeywordIs(keyword, "TRACK")) return Track(words);
        if (SheetKeywordIs(keyword, "INDEX")) return Index(words);
        if (SheetKeywordIs(keyword, "PREGAP") || SheetKeywordIs(keyword, "POSTGAP")) return Gap(words);
        if (SheetKeywordIs(keyword, "FLAGS")) return Flags(words);
        if (SheetKeywordIs(keyword, "REM")) return Remark(words);
        if (SheetKeywordIs(keyword, "TITLE") || SheetKeywordIs(keyword, "PERFORMER") ||
            SheetKeywordIs(keyword, "SONGWRITER")) {
            Text(words);
        }
        // A malformed code is left out: the disc plays without it.
        if (SheetKeywordIs(keyword, "CATALOG") && words.size() > 1 && !track_) {
            plan_.mcn = ParseMcn(words[1].text).value_or("");
        }
        if (SheetKeywordIs(keyword, "ISRC") && words.size() > 1 && track_) {
            track_->plan.isrc = ParseIsrc(words[1].text).value_or("");
        }
        return true;
    }

    std::optional<ImagePlan> Finish() {
        if (tracks_.empty() || !tracks_.back().hasIndex1) return std::nullopt;
        if (!BuildPieces(tracks_, marks_, static_cast<int>(plan_.files.size()))) return std::nullopt;
        for (CueTrack& track : tracks_) plan_.tracks.push_back(std::move(track.plan));
        return std::move(plan_);
    }

private:
    bool File(const std::vector<SheetToken>& words) {
        if (words.size() < 3) return false;
        auto format = FileType(words.back().text);
        if (!format) return false;
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
        if (file.name.empty()) return false;
        plan_.files.push_back(std::move(file));
        return true;
    }

    bool Track(const std::vector<SheetToken>& words) {
        if (plan_.files.empty() || words.size() < 3) return false;
        if ((track_ && !track_->hasIndex1) || tracks_.size() >= kMaxTracks) return false;
        auto number = ParseSheetNumber(words[1].text, kMaxTracks);
        if (!number || *number < 1 || (track_ && *number <= track_->number)) return false;
        const SheetTrackMode* mode = nullptr;
        for (const SheetTrackMode& candidate : kTrackModes) {
            if (SheetKeywordIs(words[2].text, candidate.name)) mode = &candidate;
        }
        if (!mode) return false;
        CueTrack next;
        next.number = static_cast<int>(*number);
        next.plan.audio = mode->audio;
        next.plan.sectorBytes = mode->sectorBytes;
        next.plan.format = mode->format;
        next.plan.session = session_;
        plan_.discType = std::max(plan_.discType, mode->discType);
        tracks_.push_back(std::move(next));
        return true;
    }

    bool Index(const std::vector<SheetToken>& words) {
        if (!track_ || words.size() < 3) return false;
        auto number = ParseSheetNumber(words[1].text, 99);
        auto sector = ParseMsf(words[2].text);
        if (!number || !sector) return false;
        const int file = static_cast<int>(plan_.files.size()) - 1;
        auto last = lastSectorInFile_.find(file);
        if (last != lastSectorInFile_.end() && *sector < last->second) return false;
        if (*number <= track_->lastIndex) return false;
        if (*number == 0 && track_->hasIndex0) return false;
        if (*number > 1 && !track_->hasIndex1) return false;
        track_->lastIndex = *number;
        lastSectorInFile_[file] = *sector;
        const int trackIndex = static_cast<int>(tracks_.size()) - 1;
        marks_.push_back({trackIndex, file, *sector, static_cast<int>(*number)});
        if (*number <= 1) (*number == 0 ? track_->hasIndex0 : track_->hasIndex1) = true;
        return true;
    }

    bool Gap(const std::vector<SheetToken>& words) {
        if (!track_ || words.size() < 2) return false;
        auto length = ParseMsf(words[1].text);
        if (!length) return false;
        if (SheetKeywordIs(words[0].text, "PREGAP")) {
            if (track_->lastIndex >= 0) return false;
            track_->pregap = *length;
        } else {
            if (!track_->hasIndex1) return false;
            track_->postgap = *length;
        }
        return true;
    }

    bool Flags(const std::vector<SheetToken>& words) {
        if (!track_) return false;
        for (size_t i = 1; i < words.size(); ++i) {
            if (SheetKeywordIs(words[i].text, "DCP")) track_->plan.flags |= 0x02;
            if (SheetKeywordIs(words[i].text, "PRE")) track_->plan.flags |= 0x01;
            if (SheetKeywordIs(words[i].text, "4CH")) track_->plan.flags |= 0x08;
        }
        return true;
    }

    // CD-Text of the disc before the first TRACK, of the track after it. A
    // value without quotes runs to the end of the line.
    void Text(const std::vector<SheetToken>& words) {
        if (words.size() < 2) return;
        std::string value = words[1].text;
        if (!words[1].quoted) {
            for (size_t i = 2; i < words.size(); ++i) value += ' ' + words[i].text;
        }
        SheetText& text = track_ ? track_->plan.text : plan_.discText;
        const std::string& keyword = words[0].text;
        (SheetKeywordIs(keyword, "TITLE")       ? text.title
         : SheetKeywordIs(keyword, "PERFORMER") ? text.performer
                                                : text.songwriter) = std::move(value);
    }

    bool Remark(const std::vector<SheetToken>& words) {
        if (words.size() < 3 || !SheetKeywordIs(words[1].text, "SESSION")) return true;
        auto number = ParseSheetNumber(words[2].text, 99);
        if (!number || *number < session_) return false;
        session_ = static_cast<int>(*number);
        return true;
    }

    ImagePlan plan_;
    std::vector<CueTrack> tracks_;
    std::vector<Mark> marks_;
    std::map<int, int64_t> lastSectorInFile_;
    int session_ = 1;
    CueTrack* track_ = nullptr;  // the track the current line belongs to
};

}  // namespace

std::optional<ImagePlan> ParseCueSheet(std::string_view text) {
    CueParser parser;
    for (std::string_view line : SplitSheetLines(text)) {
        std::vector<SheetToken> words = TokenizeSheetLine(line, false);
        if (words.empty() || words[0].quoted) continue;
        if (!parser.Line(words)) return std::nullopt;
    }
    return parser.Finish();
}

}  // namespace akrip
