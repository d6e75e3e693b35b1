// A disc image laid out as a disc: its TOC and where every audio byte of the
// program area comes from.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "disc_toc.h"
#include "image_plan.h"
#include "unique_fd.h"

namespace akrip {

// A data file of the image, opened (the descriptor is invalid when the
// image was laid out without opening files, e.g. under the fuzzer).
struct ImageFile {
    UniqueFd fd;
    uint64_t payloadOffset = 0;  // where the samples start (WAVE: the data chunk)
    uint64_t payloadBytes = 0;
};

// A run of audio bytes at disc byte position LSN x 2352 onwards.
struct AudioExtent {
    int64_t discByte = 0;
    uint64_t bytes = 0;
    int file = -1;  // index into DiscImage::files; -1: silence
    uint64_t fileOffset = 0;
    bool swapBytes = false;
};

// A run of data-track sectors stored `sectorBytes` a sector (file -1: zeros),
// holding the part of each sector that `format` says.
struct DataExtent {
    int64_t firstSector = 0;
    int64_t sectors = 0;
    int file = -1;
    uint64_t fileOffset = 0;
    uint32_t sectorBytes = 0;
    SectorFormat format = SectorFormat::Raw;
};

struct DiscImage {
    DiscToc toc;
    std::vector<AudioExtent> extents;     // sorted, not overlapping; only audio tracks
    std::vector<DataExtent> dataExtents;  // the data tracks' sectors, in order
    std::vector<ImageFile> files;
};

// Opens (or, for tests and the fuzzer, invents) the data file of a plan.
using FileResolver = std::function<std::optional<ImageFile>(const PlanFile&)>;

// Places the tracks of `plan` on the disc. A file that cannot be resolved, a
// piece that runs past the end of its file, a track without sectors, an
// INDEX 01 outside its track or a disc longer than 100 minutes gives nothing:
// such an image is no disc.
std::optional<DiscImage> LayoutDiscImage(const ImagePlan& plan, const FileResolver& resolve);

}  // namespace akrip
