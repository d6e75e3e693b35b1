#include "standin_writer.h"

#include <filesystem>
#include <fstream>

#include "image_reader.h"
#include "names/name_source.h"
#include "toc_record.h"
#include "virtual_drive.h"

namespace cadrix::standin {

namespace {

void PutLe32(std::vector<uint8_t>& out, uint32_t value) {
    for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(value >> (8 * k)));
}

bool WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (out.flush()) return true;
    error = "cannot write " + path.string();
    return false;
}

// The sums of the audio of frames [begin, end) of the image.
bool TrackSums(const akrip::DiscImage& image, int64_t begin, int64_t end, bool first, bool last, TrackChecksum& sums) {
    std::vector<uint8_t> block(27 * 2352);
    sums.Begin(first, last);
    for (int64_t lsn = begin; lsn < end;) {
        const uint32_t frames = akrip::ReadableImageFrames(image, lsn,
                                                           static_cast<uint32_t>(std::min<int64_t>(27, end - lsn)));
        if (frames == 0) break;  // the readable audio ends here (an Enhanced CD's session gap)
        if (!akrip::ReadImageAudio(image, lsn, frames, block.data())) return false;
        sums.Add({block.data(), size_t{frames} * 2352});
        lsn += frames;
    }
    sums.Finish();
    return true;
}

}  // namespace

bool ComputeDiscSums(const std::string& sheet, AccurateRipDiscId& id, std::vector<std::pair<uint32_t, uint32_t>>& sums,
                     std::string& error) {
    const auto image = akrip::LoadDiscImage(sheet);
    if (!image) {
        error = sheet + " is no complete disc image";
        return false;
    }
    DiscQuery disc;
    akrip::FillTocRecord(image->toc, false, disc.toc);
    disc.trackCount = static_cast<int32_t>(image->toc.tracks.size());
    id = MakeAccurateRipDiscId(disc);
    int32_t firstAudio = 0;
    int32_t lastAudio = 0;
    for (int32_t t = 1; t <= disc.trackCount; ++t) {
        if (disc.IsData(t)) continue;
        firstAudio = firstAudio == 0 ? t : firstAudio;
        lastAudio = t;
    }
    sums.assign(static_cast<size_t>(disc.trackCount), {0, 0});
    for (int32_t t = firstAudio; t != 0 && t <= lastAudio; ++t) {
        TrackChecksum track;
        if (disc.IsData(t)) continue;
        if (!TrackSums(*image, disc.Start(t), disc.Start(t + 1), t == firstAudio, t == lastAudio, track)) {
            error = "cannot read track " + std::to_string(t) + " of " + sheet;
            return false;
        }
        sums[static_cast<size_t>(t - 1)] = {track.v1, track.v2};
    }
    return true;
}

bool WriteDiscFile(const std::string& sheet, const std::string& root, const DiscFileOptions& options, std::string& path,
                   std::string& error) {
    AccurateRipDiscId id;
    std::vector<std::pair<uint32_t, uint32_t>> sums;
    if (!ComputeDiscSums(sheet, id, sums, error)) return false;
    std::vector<uint8_t> bytes;
    for (int version = 1; version <= 2; ++version) {
        bytes.push_back(static_cast<uint8_t>(id.audioTracks));
        PutLe32(bytes, id.id1);
        PutLe32(bytes, id.id2);
        PutLe32(bytes, id.cddbId);
        // A submission's slots follow the TOC from its first track.
        for (size_t k = 0; k < id.audioTracks; ++k) {
            uint32_t sum = k < sums.size() ? (version == 1 ? sums[k].first : sums[k].second) : 0;
            if (static_cast<int32_t>(k + 1) == options.wrongTrack) ++sum;
            bytes.push_back(version == 1 ? options.v1Confidence : options.v2Confidence);
            PutLe32(bytes, sum);
            PutLe32(bytes, 0);
        }
    }
    path = root + "/" + id.FilePath();
    return WriteBytes(path, bytes, error);
}

bool WriteDriveList(const std::string& root, const std::vector<std::pair<std::string, int32_t>>& drives,
                    std::string& error) {
    std::vector<std::pair<std::string, int32_t>> all = {{"PIONEER  - BD-RW   BDR-209D", 667},
                                                        {"- CDROM DRIVE", 6},
                                                        {"HL-DT-ST - DVDRAM GH24NSD1", 6}};
    for (const auto& [model, offset] : drives) {
        const size_t space = model.find(' ');
        all.emplace_back(space == std::string::npos ? "- " + model
                                                    : model.substr(0, space) + " - " + model.substr(space + 1),
                         offset);
    }
    std::vector<uint8_t> bytes;
    for (const auto& [name, offset] : all) {
        std::vector<uint8_t> record(69, 0);
        record[0] = static_cast<uint8_t>(offset & 0xFF);
        record[1] = static_cast<uint8_t>((offset >> 8) & 0xFF);
        std::copy_n(name.begin(), std::min<size_t>(name.size(), 32), record.begin() + 2);
        record[35] = 10;  // submissions
        bytes.insert(bytes.end(), record.begin(), record.end());
    }
    return WriteBytes(std::filesystem::path(root) / "accuraterip" / "DriveOffsets.bin", bytes, error);
}

}  // namespace cadrix::standin
