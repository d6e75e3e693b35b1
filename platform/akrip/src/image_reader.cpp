#include "image_reader.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "data_sectors.h"

namespace akrip {
namespace {

// The extent holding disc byte `discByte`, or end.
std::vector<AudioExtent>::const_iterator FindExtent(const DiscImage& image, int64_t discByte) {
    auto it = std::upper_bound(image.extents.begin(), image.extents.end(), discByte,
                               [](int64_t value, const AudioExtent& e) { return value < e.discByte; });
    if (it == image.extents.begin()) return image.extents.end();
    --it;
    if (discByte >= it->discByte + static_cast<int64_t>(it->bytes)) return image.extents.end();
    return it;
}

bool PreadFully(int fd, uint8_t* out, size_t bytes, uint64_t offset) {
    while (bytes > 0) {
        ssize_t got = ::pread(fd, out, bytes, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        out += got;
        bytes -= static_cast<size_t>(got);
        offset += static_cast<uint64_t>(got);
    }
    return true;
}

}  // namespace

uint32_t ReadableImageFrames(const DiscImage& image, int64_t lsn, uint32_t frames) {
    if (lsn < 0 || lsn >= image.toc.leadOut) return 0;
    const int64_t begin = lsn * kAudioSectorBytes;
    const int64_t wanted = begin + int64_t{frames} * kAudioSectorBytes;
    int64_t reached = begin;
    for (auto it = FindExtent(image, begin); it != image.extents.end() && reached < wanted; ++it) {
        if (it->discByte > reached) break;  // a gap: not audio
        reached = it->discByte + static_cast<int64_t>(it->bytes);
    }
    return static_cast<uint32_t>((std::min(reached, wanted) - begin) / kAudioSectorBytes);
}

bool ReadImageAudio(const DiscImage& image, int64_t lsn, uint32_t frames, uint8_t* out) {
    int64_t position = lsn * kAudioSectorBytes;
    const int64_t end = position + int64_t{frames} * kAudioSectorBytes;
    for (auto it = FindExtent(image, position); position < end; ++it) {
        if (it == image.extents.end() || it->discByte > position) return false;
        const uint64_t skip = static_cast<uint64_t>(position - it->discByte);
        const size_t count = static_cast<size_t>(
            std::min<int64_t>(end - position, static_cast<int64_t>(it->bytes - skip)));
        uint8_t* target = out + (position - lsn * kAudioSectorBytes);
        if (it->file < 0) {
            std::memset(target, 0, count);
        } else {
            const ImageFile& file = image.files[static_cast<size_t>(it->file)];
            if (!file.fd.Valid() || !PreadFully(file.fd.Get(), target, count, it->fileOffset + skip)) return false;
            if (it->swapBytes) {
                // Samples are 16 bits and start on even disc bytes.
                size_t i = (position & 1) ? 1 : 0;
                for (; i + 1 < count; i += 2) std::swap(target[i], target[i + 1]);
            }
        }
        position += static_cast<int64_t>(count);
    }
    return true;
}

bool ReadImageDataSector(const DiscImage& image, int64_t lsn, uint8_t* out) {
    constexpr size_t kUserBytes = 2048;
    for (const DataExtent& extent : image.dataExtents) {
        if (lsn < extent.firstSector || lsn >= extent.firstSector + extent.sectors) continue;
        std::memset(out, 0, kUserBytes);
        if (extent.file < 0) return true;
        const ImageFile& file = image.files[static_cast<size_t>(extent.file)];
        const uint64_t sector = extent.fileOffset +
                                static_cast<uint64_t>(lsn - extent.firstSector) * extent.sectorBytes;
        uint64_t skip = 0;
        if (extent.sectorBytes == 2352) {
            uint8_t mode = 1;
            if (!file.fd.Valid() || !PreadFully(file.fd.Get(), &mode, 1, sector + 15)) return false;
            skip = mode == 2 ? 24 : 16;
        } else if (extent.sectorBytes == 2336) {
            skip = 8;
        }
        const size_t bytes = std::min<size_t>(kUserBytes, extent.sectorBytes - skip);
        return file.fd.Valid() && PreadFully(file.fd.Get(), out, bytes, sector + skip);
    }
    return false;
}

bool ReadImageRawSector(const DiscImage& image, int64_t lsn, uint8_t* out) {
    for (const DataExtent& extent : image.dataExtents) {
        if (lsn < extent.firstSector || lsn >= extent.firstSector + extent.sectors) continue;
        std::array<uint8_t, kRawSectorBytes> stored{};
        const size_t bytes = std::min<size_t>(extent.sectorBytes, stored.size());
        if (extent.file >= 0) {
            const ImageFile& file = image.files[static_cast<size_t>(extent.file)];
            const uint64_t at = extent.fileOffset +
                                static_cast<uint64_t>(lsn - extent.firstSector) * extent.sectorBytes;
            if (!file.fd.Valid() || !PreadFully(file.fd.Get(), stored.data(), bytes, at)) return false;
        }
        SectorFormat format = extent.format;
        if (extent.file < 0 && format == SectorFormat::Raw) format = SectorFormat::Mode1;  // a gap of zeros
        ComposeRawSector(format, lsn, std::span<const uint8_t>(stored.data(), bytes),
                         std::span<uint8_t, kRawSectorBytes>(out, kRawSectorBytes));
        return true;
    }
    return false;
}

}  // namespace akrip
