#include "disc_image.h"

#include "cd_text.h"

namespace akrip {
namespace {

CdTextEntry ToCdText(const SheetText& text) {
    return {TextToUtf8(text.title), TextToUtf8(text.performer), TextToUtf8(text.songwriter)};
}

// The sectors of a data track placed at `position`, piece by piece.
void AddDataExtents(DiscImage& image, const PlanTrack& track, const std::vector<uint64_t>& lengths, int64_t position) {
    for (size_t i = 0; i < track.pieces.size(); ++i) {
        const PlanPiece& piece = track.pieces[i];
        const auto count = static_cast<int64_t>(lengths[i] / track.sectorBytes);
        const uint64_t offset = piece.file >= 0
                                    ? image.files[static_cast<size_t>(piece.file)].payloadOffset + piece.offset
                                    : 0;
        if (count > 0)
            image.dataExtents.push_back({position, count, piece.file, offset, track.sectorBytes, track.format});
        position += count;
    }
}

// The byte length of each piece of a track, and where INDEX 01 lies.
struct TrackSpan {
    struct Piece {
        uint64_t length;
        bool padded;  // a WAVE file's last partial frame, completed with silence
    };
    std::vector<Piece> pieces;
    int64_t sectors = 0;
    int64_t index1 = 0;             // sectors from the track's start
    std::vector<TocIndex> indexes;  // INDEX 02 and on, `lsn` counted from the track's start
};

// Where the index points after INDEX 01 lie, given the bytes before each
// piece. One that does not come after the point before it, or lies past the
// track, is left out: index points only name places in the track.
std::vector<TocIndex> PlaceIndexes(const PlanTrack& track, const std::vector<uint64_t>& bytesBefore, int64_t index1,
                                   int64_t sectors) {
    std::vector<TocIndex> indexes;
    int64_t previous = index1;
    for (const PlanIndex& index : track.indexes) {
        if (index.piece >= bytesBefore.size() || index.sectors < 0) continue;
        const int64_t at = static_cast<int64_t>(bytesBefore[index.piece] / track.sectorBytes) + index.sectors;
        if (at <= previous || at >= sectors) continue;
        indexes.push_back({index.number, static_cast<int32_t>(at)});
        previous = at;
    }
    return indexes;
}

class Layout {
public:
    Layout(const ImagePlan& plan, const FileResolver& resolve)
        : plan_(plan), resolve_(resolve), resolved_(plan.files.size(), false) {
        image_.files.resize(plan.files.size());
    }

    std::optional<DiscImage> Run() {
        if (plan_.tracks.empty() || plan_.tracks.size() > kMaxTracks) return std::nullopt;
        session_ = plan_.tracks.front().session;
        for (const PlanTrack& track : plan_.tracks) {
            if (!Place(track)) return std::nullopt;
        }
        image_.toc.leadOut = static_cast<int32_t>(position_);
        image_.toc.discText = ToCdText(plan_.discText);
        image_.toc.mcn = plan_.mcn;
        image_.toc.discType = plan_.discType;
        return std::move(image_);
    }

private:
    // The file of a piece, opened on first use; null when it cannot be.
    const ImageFile* FileOf(size_t index) {
        if (index >= plan_.files.size()) return nullptr;
        if (!resolved_[index]) {
            auto file = resolve_(plan_.files[index]);
            if (!file) return nullptr;
            image_.files[index] = std::move(*file);
            resolved_[index] = true;
        }
        return &image_.files[index];
    }

    std::optional<TrackSpan> Measure(const PlanTrack& track) {
        TrackSpan span;
        uint64_t total = 0;
        uint64_t beforeIndex1 = 0;
        std::vector<uint64_t> bytesBefore;  // per piece, and one past the last
        for (size_t i = 0; i < track.pieces.size(); ++i) {
            bytesBefore.push_back(total);
            const PlanPiece& piece = track.pieces[i];
            TrackSpan::Piece measured{piece.length.value_or(0), false};
            if (piece.file >= 0) {
                const ImageFile* file = FileOf(static_cast<size_t>(piece.file));
                if (file == nullptr || piece.offset > file->payloadBytes) return std::nullopt;
                if (!piece.length) {
                    measured.length = file->payloadBytes - piece.offset;
                    const auto format = plan_.files[static_cast<size_t>(piece.file)].format;
                    measured.padded = track.audio && i + 1 == track.pieces.size() &&
                                      (format == FileFormat::WaveLittleEndian || format == FileFormat::WaveBigEndian);
                } else if (*piece.length > file->payloadBytes - piece.offset) {
                    return std::nullopt;  // the file is shorter than the sheet says
                }
            }
            if (measured.length > (uint64_t{1} << 40)) return std::nullopt;
            span.pieces.push_back(measured);
            total += measured.length;
            if (i < track.index1Piece) beforeIndex1 += measured.length;
        }
        if (track.index1Piece > track.pieces.size()) return std::nullopt;
        if (const uint64_t remainder = total % track.sectorBytes; remainder != 0) {
            if (span.pieces.empty() || !span.pieces.back().padded) return std::nullopt;
            total += track.sectorBytes - remainder;
        }
        bytesBefore.push_back(total);
        span.sectors = static_cast<int64_t>(total / track.sectorBytes);
        span.index1 = static_cast<int64_t>(beforeIndex1 / track.sectorBytes) + track.index1Sectors;
        if (span.sectors <= 0 || track.index1Sectors < 0 || span.index1 >= span.sectors) return std::nullopt;
        span.indexes = PlaceIndexes(track, bytesBefore, span.index1, span.sectors);
        return span;
    }

    // The audio bytes of a track placed at the current position.
    void AddExtents(const PlanTrack& track, const TrackSpan& span) {
        int64_t discByte = position_ * kAudioSectorBytes;
        for (size_t i = 0; i < track.pieces.size(); ++i) {
            const PlanPiece& piece = track.pieces[i];
            AudioExtent extent;
            extent.discByte = discByte;
            extent.bytes = span.pieces[i].length;
            extent.file = piece.file;
            if (piece.file >= 0) {
                const auto format = plan_.files[static_cast<size_t>(piece.file)].format;
                const bool bigEndian = format == FileFormat::RawBigEndian || format == FileFormat::WaveBigEndian;
                extent.fileOffset = image_.files[static_cast<size_t>(piece.file)].payloadOffset + piece.offset;
                extent.swapBytes = bigEndian != piece.swapBytes;
            }
            if (extent.bytes > 0) image_.extents.push_back(extent);
            discByte += static_cast<int64_t>(span.pieces[i].length);
        }
        const int64_t end = (position_ + span.sectors) * kAudioSectorBytes;
        if (discByte < end) image_.extents.push_back({discByte, static_cast<uint64_t>(end - discByte), -1, 0, false});
    }

    bool Place(const PlanTrack& track) {
        if (track.sectorBytes == 0 || track.session < session_) return false;
        const auto span = Measure(track);
        if (!span) return false;
        if (track.session > session_) {
            // A later session's first track starts after the previous session's
            // lead-out, the next lead-in and its pregap.
            const int64_t wanted = position_ + kSessionGapFrames - span->index1;
            if (wanted > position_) position_ = wanted;
            session_ = track.session;
        }
        if (position_ + span->sectors > kMaxDiscFrames - kMsfOffsetFrames) return false;
        TocTrack entry;
        entry.start = static_cast<int32_t>(position_ + span->index1);
        entry.index0 = static_cast<int32_t>(position_);
        entry.control = static_cast<uint8_t>(track.flags & (track.audio ? 0x0B : 0x0A));
        if (!track.audio) entry.control |= 0x04;
        entry.session = static_cast<uint8_t>(track.session);
        for (TocIndex index : span->indexes) {
            index.lsn += static_cast<int32_t>(position_);
            entry.indexes.push_back(index);
        }
        entry.isrc = track.isrc;
        image_.toc.tracks.push_back(std::move(entry));
        image_.toc.trackTexts.push_back(ToCdText(track.text));
        if (track.audio) {
            AddExtents(track, *span);
        } else {
            std::vector<uint64_t> pieceBytes;
            for (const auto& piece : span->pieces) pieceBytes.push_back(piece.length);
            AddDataExtents(image_, track, pieceBytes, position_);
        }
        position_ += span->sectors;
        return true;
    }

    const ImagePlan& plan_;
    const FileResolver& resolve_;
    std::vector<bool> resolved_;
    DiscImage image_;
    int64_t position_ = 0;  // LSN of the next sector
    int session_ = 1;
};

}  // namespace

std::optional<DiscImage> LayoutDiscImage(const ImagePlan& plan, const FileResolver& resolve) {
    return Layout(plan, resolve).Run();
}

}  // namespace akrip
