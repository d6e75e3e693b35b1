// Command line of cadrix-rip.
#pragma once

#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cadrix::rip {

struct RipOptions {
    bool help = false;
    bool list = false;
    int drive = 1;  // 1-based
    bool tracksGiven = false;
    std::bitset<100> tracks;  // bit t: track t asked for
    int32_t format = 0;
    bool qualityGiven = false;
    int32_t quality = 0;  // slider position; the format's default when not given
    std::string output;
    bool lookup = true;       // --no-lookup clears it
    bool lookupOnly = false;  // --lookup-only
    bool releaseGiven = false;
    int release = 1;          // --release N: which of several found releases to save, 1-based
    bool findOffset = false;  // --find-offset
};

// Parses the arguments after the program name. False with `error` set on a
// usage error.
bool ParseRipOptions(const std::vector<std::string_view>& args, RipOptions& options, std::string& error);

// "1,3-5" -> tracks 1, 3, 4, 5. Numbers 0..99 (0: the hidden track one
// audio before track 1), ranges ascending.
bool ParseTrackList(std::string_view text, std::bitset<100>& tracks);

// The --help text; the formats and their qualities come from the format table.
std::string UsageText();

}  // namespace cadrix::rip
