#include "cdrdao_toc.h"

#include <algorithm>
#include <utility>

#include "sheet_lexer.h"

namespace akrip {
namespace {

using F = SectorFormat;
constexpr SheetTrackMode kTrackModes[] = {
    {"AUDIO", true, 2352, F::Audio, kDiscTypeCdda},
    {"MODE0", false, 2336, F::Mode0, kDiscTypeCdda},
    {"MODE1", false, 2048, F::Mode1, kDiscTypeCdda},
    {"MODE1_RAW", false, 2352, F::Raw, kDiscTypeCdda},
    {"MODE2", false, 2336, F::Mode2, kDiscTypeXa},
    {"MODE2_RAW", false, 2352, F::Raw, kDiscTypeXa},
    {"MODE2_FORM1", false, 2048, F::Mode2Form1, kDiscTypeXa},
    {"MODE2_FORM2", false, 2324, F::Mode2Form2, kDiscTypeXa},
    {"MODE2_FORM_MIX", false, 2336, F::Mode2, kDiscTypeXa},
};

// The disc types a TOC file may state before its tracks.
constexpr std::pair<std::string_view, uint8_t> kDiscTypes[] = {{"CD_DA", kDiscTypeCdda},
                                                               {"CD_ROM", kDiscTypeCdda},
                                                               {"CD_ROM_XA", kDiscTypeXa},
                                                               {"CD_I", kDiscTypeCdi}};

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

// The TOC file read statement by statement; each handler returns false when
// the statement makes the file no disc.
class TocParser {
public:
    explicit TocParser(std::string_view text) : in_(text) {}

    std::optional<ImagePlan> Parse() {
        while (const SheetToken* token = in_.Take()) {
            if (token->quoted || !Statement(token->text)) return std::nullopt;
        }
        if (plan_.tracks.empty() || plan_.tracks.back().pieces.empty()) return std::nullopt;
        if (statedType_) plan_.discType = *statedType_;
        return std::move(plan_);
    }

private:
    bool Statement(const std::string& word) {
        if (SheetKeywordIs(word, "TRACK")) return Track();
        if (SheetKeywordIs(word, "CD_TEXT")) return CdText(track_ ? track_->text : plan_.discText);
        if (SheetKeywordIs(word, "CATALOG") || SheetKeywordIs(word, "ISRC")) return Code(word);
        for (const auto& [name, type] : kDiscTypes) {
            if (SheetKeywordIs(word, name)) {
                statedType_ = type;
                return true;
            }
        }
        if (SheetKeywordIs(word, "TWO_CHANNEL_AUDIO")) return true;
        if (SheetKeywordIs(word, "NO")) return in_.Take() != nullptr;  // NO COPY, NO PRE_EMPHASIS
        if (!track_) return false;
        if (SheetKeywordIs(word, "COPY")) track_->flags |= 0x02;
        else if (SheetKeywordIs(word, "PRE_EMPHASIS")) track_->flags |= 0x01;
        else if (SheetKeywordIs(word, "FOUR_CHANNEL_AUDIO")) track_->flags |= 0x08;
        else if (SheetKeywordIs(word, "PREGAP")) return Pregap();
        else if (SheetKeywordIs(word, "SILENCE") || SheetKeywordIs(word, "ZERO")) return Silence(word);
        else if (SheetKeywordIs(word, "FILE") || SheetKeywordIs(word, "AUDIOFILE")) return File(false);
        else if (SheetKeywordIs(word, "DATAFILE")) return File(true);
        else if (SheetKeywordIs(word, "START")) return Start();
        else if (SheetKeywordIs(word, "INDEX")) return Index();
        else return false;  // FIFO and anything unknown
        return true;
    }

    // CATALOG "13 digits" before the tracks, ISRC "CCOOOYYSSSSS" in one; a
    // malformed code is left out: the disc plays without it.
    bool Code(const std::string& word) {
        const SheetToken* value = in_.Take();
        if (!value) return false;
        if (SheetKeywordIs(word, "CATALOG")) {
            plan_.mcn = ParseMcn(value->text).value_or("");
        } else if (track_) {
            track_->isrc = ParseIsrc(value->text).value_or("");
        }
        return true;
    }

    // INDEX mm:ss:ff counts from the track's start (INDEX 01); the first
    // one is INDEX 02.
    bool Index() {
        const SheetToken* time = in_.Take();
        auto sectors = time ? ParseMsf(time->text) : std::nullopt;
        if (!sectors || !track_ || track_->indexes.size() >= 98) return false;
        const int number = static_cast<int>(track_->indexes.size()) + 2;
        track_->indexes.push_back({number, track_->index1Piece, track_->index1Sectors + *sectors});
        return true;
    }

    // A CD_TEXT { ... } block: the TITLE, PERFORMER and SONGWRITER of its
    // LANGUAGE 0 block; everything else (the language map, binary fields,
    // other languages) is passed over.
    bool CdText(SheetText& text) {
        int depth = 0;
        int languageDepth = -1;  // the depth inside LANGUAGE 0 { }, while in it
        do {
            const SheetToken* token = in_.Take();
            if (!token) return false;
            if (token->quoted) continue;
            if (depth == 1 && SheetKeywordIs(token->text, "LANGUAGE") && in_.Peek() && in_.Peek()->text == "0") {
                in_.Take();
                languageDepth = 2;
                continue;
            }
            if (depth == languageDepth && in_.Peek() && in_.Peek()->quoted) {
                std::string* field = SheetKeywordIs(token->text, "TITLE")        ? &text.title
                                     : SheetKeywordIs(token->text, "PERFORMER")  ? &text.performer
                                     : SheetKeywordIs(token->text, "SONGWRITER") ? &text.songwriter
                                                                                 : nullptr;
                if (field) *field = in_.Take()->text;
                continue;
            }
            for (char c : token->text) {
                if (c == '{') ++depth;
                if (c == '}') --depth;
            }
            if (depth < languageDepth) languageDepth = -1;
        } while (depth > 0);
        return depth == 0;
    }

    bool Track() {
        const SheetToken* modeWord = in_.Take();
        if (!modeWord || plan_.tracks.size() >= kMaxTracks) return false;
        const SheetTrackMode* mode = nullptr;
        for (const SheetTrackMode& candidate : kTrackModes) {
            if (SheetKeywordIs(modeWord->text, candidate.name)) mode = &candidate;
        }
        if (!mode) return false;
        if (in_.PeekKeyword("RW") || in_.PeekKeyword("RW_RAW")) return false;
        if (track_ && track_->pieces.empty()) return false;
        plan_.tracks.emplace_back();
        track_ = &plan_.tracks.back();
        track_->audio = mode->audio;
        track_->sectorBytes = mode->sectorBytes;
        track_->format = mode->format;
        plan_.discType = std::max(plan_.discType, mode->discType);
        startSeen_ = false;
        return true;
    }

    bool Pregap() {
        const SheetToken* length = in_.Take();
        auto sectors = length ? ParseMsf(length->text) : std::nullopt;
        if (!sectors || !track_->pieces.empty() || startSeen_) return false;
        track_->pieces.push_back({-1, 0, static_cast<uint64_t>(*sectors) * track_->sectorBytes, false});
        track_->index1Piece = 1;
        startSeen_ = true;
        return true;
    }

    bool Silence(const std::string& word) {
        // ZERO may name a data mode and a sub-channel mode before the length.
        while (in_.Peek() && !IsLengthWord(in_.Peek()) && SheetKeywordIs(word, "ZERO") && !in_.PeekKeyword("TRACK")) {
            in_.Take();
        }
        const SheetToken* length = in_.Take();
        auto bytes = IsLengthWord(length) ? LengthBytes(length->text, *track_) : std::nullopt;
        if (!bytes) return false;
        track_->pieces.push_back({-1, 0, *bytes, false});
        return true;
    }

    bool File(bool dataFile) {
        const SheetToken* name = in_.Take();
        if (!name || name->text.empty()) return false;
        PlanPiece piece;
        if (in_.PeekKeyword("SWAP")) {
            in_.Take();
            piece.swapBytes = true;
        }
        if (in_.Peek() && !in_.Peek()->quoted && in_.Peek()->text.starts_with('#')) {
            auto offset = ParseSheetNumber(std::string_view(in_.Take()->text).substr(1), kMaxBytes);
            if (!offset) return false;
            piece.offset = static_cast<uint64_t>(*offset);
        }
        if (!dataFile) {
            const SheetToken* start = in_.Take();
            auto bytes = IsLengthWord(start) ? LengthBytes(start->text, *track_) : std::nullopt;
            if (!bytes) return false;
            piece.offset += *bytes;
        }
        if (IsLengthWord(in_.Peek())) {
            auto bytes = LengthBytes(in_.Take()->text, *track_);
            if (!bytes) return false;
            piece.length = *bytes;
        }
        PlanFile file;
        file.name = name->text;
        file.format = EndsWithWav(file.name) ? FileFormat::WaveLittleEndian : FileFormat::RawBigEndian;
        piece.file = static_cast<int>(plan_.files.size());
        plan_.files.push_back(std::move(file));
        track_->pieces.push_back(piece);
        return true;
    }

    bool Start() {
        if (startSeen_) return false;
        startSeen_ = true;
        if (in_.Peek() && in_.Peek()->text.find(':') != std::string::npos) {
            auto sectors = ParseMsf(in_.Take()->text);
            if (!sectors) return false;
            track_->index1Piece = 0;
            track_->index1Sectors = *sectors;
        } else {
            track_->index1Piece = track_->pieces.size();
            track_->index1Sectors = 0;
        }
        return true;
    }

    TokenStream in_;
    ImagePlan plan_;
    PlanTrack* track_ = nullptr;
    bool startSeen_ = false;
    std::optional<uint8_t> statedType_;
};

}  // namespace

std::optional<ImagePlan> ParseCdrdaoToc(std::string_view text) { return TocParser(text).Parse(); }

}  // namespace akrip
