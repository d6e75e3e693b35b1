#include "disc_image.h"

namespace akrip {
namespace {

void AddDataExtents(DiscImage& image, const PlanTrack& track, const std::vector<uint64_t>& lengths,
                    int64_t position) {
    for (size_t i = 0; i < track.pieces.size(); ++i) {
        const PlanPiece& piece = track.pieces[i];
        const auto count = static_cast<int64_t>(lengths[i] / track.sectorBytes);
        const uint64_t offset =
            piece.file >= 0 ? image.files[static_cast<size_t>(piece.file)].payloadOffset + piece.offset : 0;
        if (count > 0) image.dataExtents.push_back({position, count, piece.file, offset, track.sectorBytes});
        position += count;
    }
}

}  // namespace

std::optional<DiscImage> LayoutDiscImage(const ImagePlan& plan, const FileResolver& resolve) {
    if (plan.tracks.empty() || plan.tracks.size() > kMaxTracks) return std::nullopt;
    DiscImage image;
    image.files.resize(plan.files.size());
    std::vector<bool> resolved(plan.files.size(), false);

    int64_t position = 0;  // LSN of the next sector
    int session = plan.tracks.front().session;
    for (const PlanTrack& track : plan.tracks) {
        if (track.sectorBytes == 0 || track.session < session) return std::nullopt;

        struct Span {
            uint64_t length;
            bool padded;
        };
        std::vector<Span> lengths;
        uint64_t total = 0;
        uint64_t beforeIndex1 = 0;
        for (size_t i = 0; i < track.pieces.size(); ++i) {
            const PlanPiece& piece = track.pieces[i];
            uint64_t length = piece.length.value_or(0);
            bool padded = false;
            if (piece.file >= 0) {
                const auto fileIndex = static_cast<size_t>(piece.file);
                if (fileIndex >= plan.files.size()) return std::nullopt;
                if (!resolved[fileIndex]) {
                    auto file = resolve(plan.files[fileIndex]);
                    if (!file) return std::nullopt;
                    image.files[fileIndex] = std::move(*file);
                    resolved[fileIndex] = true;
                }
                const uint64_t payload = image.files[fileIndex].payloadBytes;
                if (piece.offset > payload) return std::nullopt;
                if (!piece.length) {
                    length = payload - piece.offset;
                    // A WAVE file's last partial frame is completed with silence.
                    const auto format = plan.files[fileIndex].format;
                    padded = track.audio && i + 1 == track.pieces.size() &&
                             (format == FileFormat::WaveLittleEndian || format == FileFormat::WaveBigEndian);
                } else if (*piece.length > payload - piece.offset) {
                    return std::nullopt;  // the file is shorter than the sheet says
                }
            }
            if (length > (uint64_t{1} << 40)) return std::nullopt;
            lengths.push_back({length, padded});
            total += length;
            if (i < track.index1Piece) beforeIndex1 += length;
        }
        if (track.index1Piece > track.pieces.size()) return std::nullopt;
        uint64_t remainder = total % track.sectorBytes;
        if (remainder != 0) {
            if (lengths.empty() || !lengths.back().padded) return std::nullopt;
            total += track.sectorBytes - remainder;
        }
        const int64_t sectors = static_cast<int64_t>(total / track.sectorBytes);
        const int64_t index1 = static_cast<int64_t>(beforeIndex1 / track.sectorBytes) + track.index1Sectors;
        if (sectors <= 0 || track.index1Sectors < 0 || index1 >= sectors) return std::nullopt;

        if (track.session > session) {
            // A later session's first track starts after the previous session's
            // lead-out, the next lead-in and its pregap.
            const int64_t wanted = position + kSessionGapFrames - index1;
            if (wanted > position) position = wanted;
            session = track.session;
        }
        if (position + sectors > kMaxDiscFrames - kMsfOffsetFrames) return std::nullopt;

        TocTrack entry;
        entry.start = static_cast<int32_t>(position + index1);
        entry.control = static_cast<uint8_t>(track.flags & (track.audio ? 0x0B : 0x0A));
        if (!track.audio) entry.control |= 0x04;
        entry.session = static_cast<uint8_t>(track.session);
        image.toc.tracks.push_back(entry);

        if (track.audio) {
            int64_t discByte = position * kAudioSectorBytes;
            for (size_t i = 0; i < track.pieces.size(); ++i) {
                const PlanPiece& piece = track.pieces[i];
                AudioExtent extent;
                extent.discByte = discByte;
                extent.bytes = lengths[i].length;
                extent.file = piece.file;
                if (piece.file >= 0) {
                    const auto format = plan.files[static_cast<size_t>(piece.file)].format;
                    const bool bigEndian = format == FileFormat::RawBigEndian || format == FileFormat::WaveBigEndian;
                    extent.fileOffset = image.files[static_cast<size_t>(piece.file)].payloadOffset + piece.offset;
                    extent.swapBytes = bigEndian != piece.swapBytes;
                }
                if (extent.bytes > 0) image.extents.push_back(extent);
                discByte += static_cast<int64_t>(lengths[i].length);
            }
            const int64_t end = (position + sectors) * kAudioSectorBytes;
            if (discByte < end) image.extents.push_back({discByte, static_cast<uint64_t>(end - discByte), -1, 0, false});
        } else {
            std::vector<uint64_t> pieceBytes;
            for (const auto& span : lengths) pieceBytes.push_back(span.length);
            AddDataExtents(image, track, pieceBytes, position);
        }
        position += sectors;
    }
    image.toc.leadOut = static_cast<int32_t>(position);
    return image;
}

}  // namespace akrip
