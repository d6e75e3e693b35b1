#include "rip_options.h"

#include <charconv>

#include "output/output_format.h"

namespace cadrix::rip {

std::string UsageText() {
    std::string names;
    std::string qualities;
    for (const OutputFormatInfo& format : OutputFormats()) {
        if (!names.empty()) names += format.format + 1 == FORMAT_COUNT ? " or " : ", ";
        names += format.cliName;
        if (format.format == FORMAT_PCM) names += " (WAVE, default)";
        if (!format.HasQuality()) continue;
        qualities += std::string(qualities.empty() ? "" : ",\n                   ") + format.cliName + " 0-" +
                     std::to_string(format.sliderMax) + " (default " + std::to_string(format.defaultPosition) + ")";
    }
    return "Usage: cadrix-rip --list [--no-lookup]\n"
           "       cadrix-rip --lookup-only [--drive N] [--release N]\n"
           "       cadrix-rip --find-offset [--drive N]\n"
           "       cadrix-rip [--drive N] [--tracks LIST] [--format FORMAT] [--quality N]\n"
           "                  [--no-lookup] [--release N] --output DIR\n"
           "\n"
           "Copies the audio tracks of the disc in drive N (default 1) to one file per\n"
           "track, in a folder named after the disc under DIR.\n"
           "\n"
           "  --list           list every drive, its disc and its tracks\n"
           "  --drive N        the drive to read, numbered from 1 as --list shows them\n"
           "  --tracks LIST    tracks to extract, e.g. 1,3-5; 0 is hidden audio before track 1\n"
           "                   (default: every audio track and the hidden audio)\n"
           "  --format FORMAT  " +
           names +
           "\n"
           "  --quality N      quality slider position: " +
           qualities +
           "\n"
           "  --output DIR     base output folder\n"
           "  --no-lookup      never look names up online\n"
           "  --lookup-only    look up the names of the disc in drive N, save and show them\n"
           "  --release N      of several releases found online, save release N (default 1)\n"
           "  --find-offset    find the read offset of drive N with a disc AccurateRip knows\n"
           "                   and keep it for that drive\n"
           "  --help           show this text\n"
           "\n"
           "Names come from the suite's disc database, else from Cadrix's own disc folder\n"
           "($XDG_DATA_HOME/cadrix/discs). A disc that neither names is named from its\n"
           "CD-Text, else looked up on MusicBrainz, then gnudb (servers:\n"
           "$CADRIX_MUSICBRAINZ_SERVER, $CADRIX_GNUDB_SERVER), and what is found is saved in\n"
           "Cadrix's own folder before the disc is listed or extracted.\n"
           "\n"
           "Each track is proven against AccurateRip ($CADRIX_ACCURATERIP_SERVER): read at\n"
           "full speed when AccurateRip knows the disc, and again securely where it does\n"
           "not prove the track. A log goes into the disc's folder. The drive's read\n"
           "offset comes from $CADRIX_READ_OFFSET, else the one --find-offset kept, else\n"
           "AccurateRip's drive list. --no-lookup asks no service and reads securely.\n"
           "\n"
           "Exit status: 0 complete, 1 failed, 2 usage error, 130 aborted (Ctrl-C).\n";
}

namespace {

bool ParseInt(std::string_view text, int& value) {
    if (text.empty()) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

bool ParseTrackList(std::string_view text, std::bitset<100>& tracks) {
    tracks.reset();
    if (text.empty()) return false;
    while (true) {
        const size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        const size_t dash = item.find('-');
        int first = 0;
        int last = 0;
        if (!ParseInt(item.substr(0, dash), first)) return false;
        last = first;
        if (dash != std::string_view::npos && !ParseInt(item.substr(dash + 1), last)) return false;
        if (first < 0 || last > 99 || first > last) return false;  // 0: the hidden track one audio
        for (int t = first; t <= last; ++t) tracks.set(static_cast<size_t>(t));
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    return true;
}

namespace {

// What the loop learns besides the options themselves.
struct ParseState {
    std::string_view formatName = "pcm";
    std::string_view qualityText;
    bool driveGiven = false;
    bool formatGiven = false;
};

// Options without a value; false when `arg` is none of them.
bool ApplyFlag(std::string_view arg, RipOptions& options) {
    if (arg == "--help" || arg == "-h") options.help = true;
    else if (arg == "--list") options.list = true;
    else if (arg == "--no-lookup") options.lookup = false;
    else if (arg == "--lookup-only") options.lookupOnly = true;
    else if (arg == "--find-offset") options.findOffset = true;
    else return false;
    return true;
}

// One option that takes a value.
bool ApplyValueOption(std::string_view arg, std::string_view value, RipOptions& options, ParseState& state,
                      std::string& error) {
    if (arg == "--drive") {
        state.driveGiven = true;
        if (ParseInt(value, options.drive) && options.drive >= 1 && options.drive <= 8) return true;
        error = "--drive takes a drive number from 1 to 8";
    } else if (arg == "--tracks") {
        options.tracksGiven = true;
        if (ParseTrackList(value, options.tracks)) return true;
        error = "--tracks takes a list like 1,3-5 of track numbers 1-99 (0: the hidden track one audio)";
    } else if (arg == "--format") {
        state.formatName = value;
        state.formatGiven = true;
        return true;
    } else if (arg == "--quality") {
        state.qualityText = value;
        options.qualityGiven = true;
        return true;
    } else if (arg == "--output") {
        options.output = std::string(value);
        return true;
    } else if (arg == "--release") {
        options.releaseGiven = true;
        if (ParseInt(value, options.release) && options.release >= 1 && options.release <= 20) return true;
        error = "--release takes a release number from 1 to 20";
    } else {
        error = "unknown argument: " + std::string(arg);
    }
    return false;
}

// The format and the quality position, checked against the format table.
bool ApplyFormat(const ParseState& state, RipOptions& options, std::string& error) {
    const OutputFormatInfo* format = FindOutputFormatByCliName(state.formatName);
    if (format == nullptr) {
        error = "unknown format: " + std::string(state.formatName);
        return false;
    }
    options.format = format->format;
    options.quality = format->defaultPosition;
    if (!options.qualityGiven) return true;
    if (!format->HasQuality()) {
        error = std::string("--format ") + format->cliName + " takes no --quality";
        return false;
    }
    if (!ParseInt(state.qualityText, options.quality) || options.quality < 0 || options.quality > format->sliderMax) {
        error = std::string("--quality for ") + format->cliName + " is 0 to " + std::to_string(format->sliderMax);
        return false;
    }
    return true;
}

// Options that make no sense together are refused rather than ignored.
bool CheckCombination(const ParseState& state, const RipOptions& options, std::string& error) {
    if (options.findOffset) {
        if (!options.lookup || options.lookupOnly || options.list || state.formatGiven || options.qualityGiven ||
            options.tracksGiven || !options.output.empty() || options.releaseGiven) {
            error = "--find-offset takes only --drive";
            return false;
        }
        return true;
    }
    if (options.lookupOnly) {
        if (!options.lookup || options.list || state.formatGiven || options.qualityGiven || options.tracksGiven ||
            !options.output.empty()) {
            error = "--lookup-only takes only --drive and --release";
            return false;
        }
        return true;
    }
    if (options.releaseGiven && !options.lookup) {
        error = "--release picks a release found online, which --no-lookup rules out";
        return false;
    }
    if (!options.list && options.output.empty()) {
        error = "--output DIR is required";
        return false;
    }
    // --list shows every drive; an option it would silently ignore is refused.
    if (options.list && (state.driveGiven || state.formatGiven || options.qualityGiven || options.tracksGiven ||
                         !options.output.empty() || options.releaseGiven)) {
        error = "--list takes no other option but --no-lookup";
        return false;
    }
    return true;
}

}  // namespace

bool ParseRipOptions(const std::vector<std::string_view>& args, RipOptions& options, std::string& error) {
    options = RipOptions{};
    ParseState state;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (ApplyFlag(arg, options)) continue;
        std::string_view value;
        if (const size_t eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
        } else if (!arg.starts_with("--")) {
            error = "unknown argument: " + std::string(arg);
            return false;
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            error = std::string(arg) + " needs a value";
            return false;
        }
        if (!ApplyValueOption(arg, value, options, state, error)) return false;
    }
    if (options.help) return true;
    if (!ApplyFormat(state, options, error)) return false;
    return CheckCombination(state, options, error);
}

}  // namespace cadrix::rip
