// A folder used as a drive: the disc is the image (.cue or .toc) inside it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "disc_image.h"
#include "drive.h"

namespace akrip {

class VirtualDrive : public Drive {
public:
    explicit VirtualDrive(std::string folder);
    DiscToc ReadToc() override;
    uint32_t ReadAudio(int64_t lsn, uint32_t frames, uint8_t* out) override;
    DriveIdentity Identity() override { return {"Cadrix", "Virtual Drive", "", true, true}; }
    std::optional<AudioRange> TrackRange(int track) override;
    DiscLayout Layout() override;

private:
    std::string folder_;
    bool probed_ = false;
    // The disc found by the last look. It stays while the folder holds the
    // same disc (same TOC, same data files unchanged), so reads in progress
    // keep their open files; another disc replaces it and counts as new.
    std::optional<DiscImage> image_;
    std::vector<int64_t> identity_;
};

// The disc in `folder`: the first image by name (cue sheets and cdrdao TOC
// files, extension in any case) that describes a complete disc.
std::optional<DiscImage> FindDiscImage(const std::string& folder);

// Loads one image file; its data files are looked up beside it.
std::optional<DiscImage> LoadDiscImage(const std::string& sheetPath);

}  // namespace akrip
