// The command line of cadrix-drivesim, which also configures the emulated
// drive inside the program it runs: the launcher stores the options in the
// drive's state file and the interposer parses them again from there.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace drivesim {

// Sectors [first, last]; `failures` 0 means they never read.
struct SectorRange {
    int64_t first = 0;
    int64_t last = 0;
    uint32_t failures = 0;
    bool Touches(int64_t lba, int64_t count) const { return lba <= last && lba + count > first; }
};

struct DriveOptions {
    std::vector<std::string> images;  // the disc, then the discs --change-after-reads brings
    std::string device;               // empty: a path in the private folder
    double speed = 0;                 // times 75 frames a second; 0: unlimited
    int32_t seekMs = 60;              // added to a read that does not follow the drive's head
    int32_t readOffset = 0;           // samples the drive's audio comes early
    std::vector<SectorRange> bad;
    std::vector<SectorRange> jitter;
    int64_t changeAfterReads = -1;
    int64_t ejectAfterReads = -1;
    bool noDisc = false;
    std::string log;
    std::string model;                 // "VENDOR MODEL" its INQUIRY data gives; empty: the emulator's own
    std::vector<std::string> command;  // after "--"
};

// Parses the arguments after the program name. False with `error` set.
bool ParseDriveOptions(std::span<const std::string> args, DriveOptions& options, std::string& error);

// The options again as arguments (without the command), one per line.
std::string SerializeDriveOptions(const DriveOptions& options);
std::vector<std::string> SplitLines(std::string_view text);

extern const char* const kDriveSimUsage;

}  // namespace drivesim
