#include "cdrdao_toc.h"

#include "sheet_lexer.h"

namespace akrip {
namespace {

struct TrackMode {
    std::string_view name;
    bool audio;
    uint32_t sectorBytes;
};

constexpr TrackMode kTrackModes[] = {
    {"AUDIO", true, 2352},         {"MODE0", false, 2336},       {"MODE1", false, 2048},
    {"MODE1_RAW", false, 2352},    {"MODE2", false, 2336},       {"MODE2_RAW", false, 2352},
    {"MODE2_FORM1", false, 2048},  {"MODE2_FORM2", false, 2324}, {"MODE2_FORM_MIX", false, 2336},
};

constexpr int64_t kMaxBytes = int64_t{1} << 40;

class TokenStream {
public:
    explicit TokenStream(std::string_view text) {
        for (std::string_view line : SplitSheetLines(text)) {
            for (SheetToken& token : TokenizeSheetLine(line, true)) tokens_.push_back(std::move(token));
        }
    }
    bool AtEnd() const { return next_ >= tokens_.size(); }
    const SheetToken* Peek() const { return AtEnd() ? nullptr : &tokens_[next_]; }
    const SheetToken* Take() { return AtEnd() ? nullptr : &tokens_[next_++]; }
    bool PeekKeyword(std::string_view keyword) const {
        const SheetToken* token = Peek();
        return token && !token->quoted && SheetKeywordIs(token->text, keyword);
    }
    // Skips a { ... } block, nested blocks included.
    bool SkipBlock() {
        int depth = 0;
        do {
            const SheetToken* token = Take();
            if (!token) return false;
            if (token->quoted) continue;
            for (char c : token->text) {
                if (c == '{') ++depth;
                if (c == '}') --depth;
            }
        } while (depth > 0);
        return depth == 0;
    }

private:
    std::vector<SheetToken> tokens_;
    size_t next_ = 0;
};

bool IsLengthWord(const SheetToken* token) {
    if (!token || token->quoted || token->text.empty()) return false;
    char c = token->text[0];
    return c >= '0' && c <= '9';
}

// An MSF time counts sectors; a plain number counts samples in audio tracks
// and bytes in data tracks.
std::optional<uint64_t> LengthBytes(std::string_view word, const PlanTrack& track) {
    if (word.find(':') != std::string_view::npos) {
        auto sectors = ParseMsf(word);
        if (!sectors) return std::nullopt;
        return static_cast<uint64_t>(*sectors) * track.sectorBytes;
    }
    auto number = ParseSheetNumber(word, kMaxBytes);
    if (!number) return std::nullopt;
    return static_cast<uint64_t>(*number) * (track.audio ? 4u : 1u);
}

bool EndsWithWav(std::string_view name) {
    return name.size() >= 4 && SheetKeywordIs(name.substr(name.size() - 4), ".WAV");
}

}  // namespace

std::optional<ImagePlan> ParseCdrdaoToc(std::string_view text) {
    TokenStream in(text);
    ImagePlan plan;
    PlanTrack* track = nullptr;
    bool startSeen = false;

    while (const SheetToken* token = in.Take()) {
        if (token->quoted) return std::nullopt;
        const std::string& word = token->text;
        if (SheetKeywordIs(word, "TRACK")) {
            const SheetToken* modeWord = in.Take();
            if (!modeWord || plan.tracks.size() >= kMaxTracks) return std::nullopt;
            const TrackMode* mode = nullptr;
            for (const TrackMode& candidate : kTrackModes) {
                if (SheetKeywordIs(modeWord->text, candidate.name)) mode = &candidate;
            }
            if (!mode) return std::nullopt;
            if (in.PeekKeyword("RW") || in.PeekKeyword("RW_RAW")) return std::nullopt;
            if (track && track->pieces.empty()) return std::nullopt;
            plan.tracks.emplace_back();
            track = &plan.tracks.back();
            track->audio = mode->audio;
            track->sectorBytes = mode->sectorBytes;
            startSeen = false;
        } else if (SheetKeywordIs(word, "CD_TEXT")) {
            if (!in.SkipBlock()) return std::nullopt;
        } else if (SheetKeywordIs(word, "CATALOG") || SheetKeywordIs(word, "ISRC")) {
            if (!in.Take()) return std::nullopt;
        } else if (SheetKeywordIs(word, "CD_DA") || SheetKeywordIs(word, "CD_ROM") ||
                   SheetKeywordIs(word, "CD_ROM_XA") || SheetKeywordIs(word, "CD_I") ||
                   SheetKeywordIs(word, "TWO_CHANNEL_AUDIO")) {
        } else if (SheetKeywordIs(word, "NO")) {
            if (!in.Take()) return std::nullopt;  // NO COPY, NO PRE_EMPHASIS
        } else if (!track) {
            return std::nullopt;
        } else if (SheetKeywordIs(word, "COPY")) {
            track->flags |= 0x02;
        } else if (SheetKeywordIs(word, "PRE_EMPHASIS")) {
            track->flags |= 0x01;
        } else if (SheetKeywordIs(word, "FOUR_CHANNEL_AUDIO")) {
            track->flags |= 0x08;
        } else if (SheetKeywordIs(word, "PREGAP")) {
            const SheetToken* length = in.Take();
            auto sectors = length ? ParseMsf(length->text) : std::nullopt;
            if (!sectors || !track->pieces.empty() || startSeen) return std::nullopt;
            track->pieces.push_back({-1, 0, static_cast<uint64_t>(*sectors) * track->sectorBytes, false});
            track->index1Piece = 1;
            startSeen = true;
        } else if (SheetKeywordIs(word, "SILENCE") || SheetKeywordIs(word, "ZERO")) {
            // ZERO may name a data mode and a sub-channel mode before the length.
            while (in.Peek() && !IsLengthWord(in.Peek()) && SheetKeywordIs(word, "ZERO") &&
                   !in.PeekKeyword("TRACK")) {
                in.Take();
            }
            const SheetToken* length = in.Take();
            auto bytes = IsLengthWord(length) ? LengthBytes(length->text, *track) : std::nullopt;
            if (!bytes) return std::nullopt;
            track->pieces.push_back({-1, 0, *bytes, false});
        } else if (SheetKeywordIs(word, "FILE") || SheetKeywordIs(word, "AUDIOFILE") ||
                   SheetKeywordIs(word, "DATAFILE")) {
            const bool dataFile = SheetKeywordIs(word, "DATAFILE");
            const SheetToken* name = in.Take();
            if (!name || name->text.empty()) return std::nullopt;
            PlanPiece piece;
            if (in.PeekKeyword("SWAP")) {
                in.Take();
                piece.swapBytes = true;
            }
            if (in.Peek() && !in.Peek()->quoted && in.Peek()->text.starts_with('#')) {
                auto offset = ParseSheetNumber(std::string_view(in.Take()->text).substr(1), kMaxBytes);
                if (!offset) return std::nullopt;
                piece.offset = static_cast<uint64_t>(*offset);
            }
            if (!dataFile) {
                const SheetToken* start = in.Take();
                auto bytes = IsLengthWord(start) ? LengthBytes(start->text, *track) : std::nullopt;
                if (!bytes) return std::nullopt;
                piece.offset += *bytes;
            }
            if (IsLengthWord(in.Peek())) {
                auto bytes = LengthBytes(in.Take()->text, *track);
                if (!bytes) return std::nullopt;
                piece.length = *bytes;
            }
            PlanFile file;
            file.name = name->text;
            file.format = EndsWithWav(file.name) ? FileFormat::WaveLittleEndian : FileFormat::RawBigEndian;
            piece.file = static_cast<int>(plan.files.size());
            plan.files.push_back(std::move(file));
            track->pieces.push_back(piece);
        } else if (SheetKeywordIs(word, "START")) {
            if (startSeen) return std::nullopt;
            startSeen = true;
            if (in.Peek() && in.Peek()->text.find(':') != std::string::npos) {
                auto sectors = ParseMsf(in.Take()->text);
                if (!sectors) return std::nullopt;
                track->index1Piece = 0;
                track->index1Sectors = *sectors;
            } else {
                track->index1Piece = track->pieces.size();
                track->index1Sectors = 0;
            }
        } else if (SheetKeywordIs(word, "INDEX")) {
            if (!in.Take()) return std::nullopt;
        } else {
            return std::nullopt;  // FIFO and anything unknown
        }
    }
    if (plan.tracks.empty() || plan.tracks.back().pieces.empty()) return std::nullopt;
    return plan;
}

}  // namespace akrip
