// AccurateRip's list of drive read offsets (DriveOffsets.bin): records of
// 69 bytes, each a signed 16-bit little-endian offset, the drive's name as
// "VENDOR - MODEL" ("- MODEL" without a vendor) in 32 bytes padded with
// NULs, a terminator, the count of submissions and 33 bytes not used here.
// Drives are matched by their INQUIRY vendor (8 characters) and product
// (16); blanks and letter case do not count.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cadrix {

inline constexpr size_t DRIVE_OFFSET_RECORD_BYTES = 69;
// Offsets beyond what AccurateRip's sums leave out at a disc's edges are
// not taken from the list.
inline constexpr int32_t MAX_LISTED_OFFSET = 2940;

struct DriveOffsetEntry {
    std::string key;  // DriveKey(vendor, model)
    int32_t offset = 0;
    uint32_t submissions = 0;
};

// "VENDOR MODEL": vendor and model trimmed, runs of blanks made one, upper
// case; the model alone when there is no vendor. Empty without a model.
std::string DriveKey(std::string_view vendor, std::string_view model);

// The records of a DriveOffsets.bin; a record that is cut short, nameless
// or beyond ±MAX_LISTED_OFFSET is left out.
std::vector<DriveOffsetEntry> ParseDriveOffsets(std::span<const uint8_t> bytes);

// The listed offset of drive `key`: when several records name it, the one
// with the most submissions.
std::optional<int32_t> FindDriveOffset(const std::vector<DriveOffsetEntry>& entries, std::string_view key);

}  // namespace cadrix
