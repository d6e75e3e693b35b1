// A folder used as a drive: the disc is the image (.cue or .toc) inside it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "disc_image.h"
#include "drive.h"

namespace akrip {

class VirtualDrive : public Drive {
public:
    explicit VirtualDrive(std::string folder);
    DiscToc ReadToc() override;
    uint32_t ReadAudio(int64_t lsn, uint32_t frames, uint8_t* out) override;

private:
    std::string folder_;
    bool probed_ = false;
    std::optional<DiscImage> image_;  // the disc found by the last look
};

// The disc in `folder`: the first image by name (cue sheets and cdrdao TOC
// files, extension in any case) that describes a complete disc.
std::optional<DiscImage> FindDiscImage(const std::string& folder);

// Loads one image file; its data files are looked up beside it.
std::optional<DiscImage> LoadDiscImage(const std::string& sheetPath);

}  // namespace akrip
