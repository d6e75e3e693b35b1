#include "drive_options.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>

namespace drivesim {
namespace {

bool ParseInt(std::string_view text, int64_t& value) {
    if (text.empty()) return false;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

// FIRST[-LAST][:N]
bool ParseRange(std::string_view text, bool withCount, SectorRange& range) {
    if (withCount) {
        if (const size_t colon = text.find(':'); colon != std::string_view::npos) {
            int64_t failures = 0;
            if (!ParseInt(text.substr(colon + 1), failures) || failures < 1 || failures > 1000000) return false;
            range.failures = static_cast<uint32_t>(failures);
            text = text.substr(0, colon);
        }
    }
    const size_t dash = text.find('-', 1);
    if (!ParseInt(text.substr(0, dash), range.first)) return false;
    range.last = range.first;
    if (dash != std::string_view::npos && !ParseInt(text.substr(dash + 1), range.last)) return false;
    return range.first >= 0 && range.last >= range.first;
}

std::string FormatRange(const SectorRange& range) {
    std::string text = std::to_string(range.first) + "-" + std::to_string(range.last);
    if (range.failures != 0) text += ":" + std::to_string(range.failures);
    return text;
}

bool ParseOption(std::string_view name, std::string_view value, DriveOptions& options) {
    int64_t number = 0;
    if (name == "--image") {
        options.images.emplace_back(value);
    } else if (name == "--device") {
        options.device = value;
    } else if (name == "--log") {
        options.log = value;
    } else if (name == "--model") {
        // One line of the state file, and INQUIRY's 8 + 16 characters.
        if (value.empty() || value.size() > 25 || value.find('\n') != std::string_view::npos) return false;
        options.model = value;
    } else if (name == "--speed") {
        options.speed = std::strtod(std::string(value).c_str(), nullptr);
        return options.speed > 0 && options.speed <= 100;
    } else if (name == "--seek-ms") {
        if (!ParseInt(value, number) || number < 0 || number > 10000) return false;
        options.seekMs = static_cast<int32_t>(number);
    } else if (name == "--read-offset") {
        if (!ParseInt(value, number) || number < -5880 || number > 5880) return false;
        options.readOffset = static_cast<int32_t>(number);
    } else if (name == "--bad" || name == "--jitter") {
        SectorRange range;
        if (!ParseRange(value, name == "--bad", range)) return false;
        (name == "--bad" ? options.bad : options.jitter).push_back(range);
    } else if (name == "--change-after-reads" || name == "--eject-after-reads") {
        if (!ParseInt(value, number) || number < 1) return false;
        (name == "--change-after-reads" ? options.changeAfterReads : options.ejectAfterReads) = number;
    } else {
        return false;
    }
    return true;
}

}  // namespace

const char* const kDriveSimUsage = R"(Usage: cadrix-drivesim --image SHEET [options] -- COMMAND [ARGS...]
Runs COMMAND with DEVICE behaving, for it and its children, like a Linux
CD-ROM drive holding the disc image SHEET (.cue or cdrdao .toc). DEVICE is put
first in CADRIX_CD_DEVICES.

  --image SHEET              the disc; more --image options are the discs that
                             --change-after-reads puts in, in turn
  --device PATH              the device path (default: a path in a private folder)
  --speed X                  reads take as long as on an X-speed drive (75 frames
                             a second at 1), plus --seek-ms for a seek (default 60)
  --read-offset SAMPLES      the drive's audio comes SAMPLES samples early
  --bad FIRST[-LAST][:N]     reads touching these sectors fail with MEDIUM ERROR,
                             N times and then read well, or always without :N
  --jitter FIRST-LAST        reads starting there are a few samples early or late
  --change-after-reads N     after N reads another disc is in the drive
  --eject-after-reads N      after N reads the drive holds no disc
  --no-disc                  start with an empty drive
  --log FILE                 append the commands the drive receives to FILE
  --model "VENDOR MODEL"     the vendor (first word, up to 8 characters) and
                             model (the rest, up to 16) that INQUIRY reports
)";

bool ParseDriveOptions(std::span<const std::string> args, DriveOptions& options, std::string& error) {
    size_t i = 0;
    for (; i < args.size() && args[i] != "--"; ++i) {
        std::string_view arg = args[i];
        if (arg == "--no-disc") {
            options.noDisc = true;
            continue;
        }
        std::string_view name = arg;
        std::string_view value;
        if (const size_t eq = arg.find('='); eq != std::string_view::npos && arg.starts_with("--")) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            error = "missing value for " + std::string(arg);
            return false;
        }
        if (!ParseOption(name, value, options)) {
            error = "bad option " + std::string(name) + " " + std::string(value);
            return false;
        }
    }
    if (i < args.size()) options.command.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
    if (options.images.empty() && !options.noDisc) {
        error = "no --image";
        return false;
    }
    return true;
}

std::string SerializeDriveOptions(const DriveOptions& options) {
    std::string text;
    auto add = [&text](std::string_view name, const std::string& value) {
        text.append(name).append("\n").append(value).append("\n");
    };
    for (const std::string& image : options.images) add("--image", image);
    if (!options.device.empty()) add("--device", options.device);
    if (options.speed > 0) add("--speed", std::to_string(options.speed));
    add("--seek-ms", std::to_string(options.seekMs));
    add("--read-offset", std::to_string(options.readOffset));
    for (const SectorRange& range : options.bad) add("--bad", FormatRange(range));
    for (const SectorRange& range : options.jitter) add("--jitter", FormatRange(range));
    if (options.changeAfterReads > 0) add("--change-after-reads", std::to_string(options.changeAfterReads));
    if (options.ejectAfterReads > 0) add("--eject-after-reads", std::to_string(options.ejectAfterReads));
    if (options.noDisc) text += "--no-disc\n";
    if (!options.log.empty()) add("--log", options.log);
    if (!options.model.empty()) add("--model", options.model);
    return text;
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        const size_t newline = text.find('\n');
        lines.emplace_back(text.substr(0, newline));
        if (newline == std::string_view::npos) break;
        text.remove_prefix(newline + 1);
    }
    return lines;
}

}  // namespace drivesim
