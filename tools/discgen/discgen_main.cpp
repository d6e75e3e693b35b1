// cadrix-discgen: writes deterministic CUE/BIN test discs and the demo disc.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "demo_disc.h"
#include "disc_generator.h"

namespace {

using namespace cadrix::discgen;

constexpr const char* kUsage = R"(Usage:
  cadrix-discgen --out DIR --name NAME [options]   write DIR/NAME.cue and its files
  cadrix-discgen --demo DIR                        write the demo disc, its database and ini

Disc layout:
  --tracks LIST       track lengths, comma-separated: 30s or 2.5s (seconds),
                      2250 or 2250f (frames, 75 a second), 1:30 (minutes:seconds)
  --minutes M         a disc of M minutes (e.g. 74) split into --track-count tracks
  --track-count N     tracks for --minutes (default 15)
  --data-last         the last track is a data track
  --data-first        the first track is a data track (a mixed-mode disc)
  --data-mode MODE    mode1 (MODE1/2352, default), mode1-2048 (MODE1/2048), mode2 (MODE2/2352)
  --session2          the last track is a data track in a second session, 11400
                      frames after the audio (an Enhanced CD)
  --pregap N          N frames of PREGAP silence (in no file) before each track after the first
  --index0 N          N frames of INDEX 00 pregap stored before each track after the first
  --htoa N            N frames of audio before track 1's INDEX 01 (hidden track one audio)

Sub-channel and CD-Text:
  --mcn DIGITS        the media catalog number (CATALOG), 13 digits
  --isrc LIST         the ISRCs of tracks 1, 2, ..., comma-separated (an empty
                      entry for a track without one), e.g. DEA123400001,,DEA123400003
  --index2 N          INDEX 02 N frames after INDEX 01 in every track longer than that
  --pre-emphasis LIST the tracks (1-based, comma-separated, or "all") with FLAGS PRE
  --cd-text           CD-Text: the disc's and every track's title and performer

Files:
  --motorola          audio stored big-endian (FILE ... MOTOROLA)
  --wave              audio stored in one WAVE file per track
  --file-per-track    one FILE per track
  --seed N            content seed (default 1); equal options give equal bytes

Other:
  --print-toc         print each track's start, the lead-out and the CDDB id
  --audio-out DIR     write what a drive reads of each audio track N: DIR/NN.pcm
                      holds its stored audio (INDEX 00 frames, then the track),
                      DIR/layout.txt a line "N FIRST START END RIPPED" per audio
                      track (where NN.pcm starts, INDEX 01, its end, and where
                      the track's audio as ripped ends)
  --help              this text

Without --tracks or --minutes the disc has three tracks of 30, 25 and 40 seconds.
)";

bool ParseUnsigned(std::string_view text, uint64_t& value) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size() && !text.empty();
}

// 30s, 2.5s, 2250, 2250f, 1:30
std::optional<uint32_t> ParseLength(std::string_view text) {
    uint64_t value = 0;
    if (const size_t colon = text.find(':'); colon != std::string_view::npos) {
        uint64_t seconds = 0;
        if (!ParseUnsigned(text.substr(0, colon), value) || !ParseUnsigned(text.substr(colon + 1), seconds)) {
            return std::nullopt;
        }
        return static_cast<uint32_t>((value * 60 + seconds) * kFramesPerSecond);
    }
    if (!text.empty() && text.back() == 's') {
        text.remove_suffix(1);
        const size_t dot = text.find('.');
        if (!ParseUnsigned(text.substr(0, dot), value)) {
            return std::nullopt;
        }
        uint64_t frames = value * kFramesPerSecond;
        if (dot != std::string_view::npos) {
            std::string_view fraction = text.substr(dot + 1);
            uint64_t digits = 0;
            if (fraction.empty() || fraction.size() > 6 || !ParseUnsigned(fraction, digits)) {
                return std::nullopt;
            }
            uint64_t scale = 1;
            for (size_t i = 0; i < fraction.size(); ++i) {
                scale *= 10;
            }
            frames += digits * kFramesPerSecond / scale;
        }
        return frames <= UINT32_MAX ? std::optional<uint32_t>(static_cast<uint32_t>(frames)) : std::nullopt;
    }
    if (!text.empty() && text.back() == 'f') {
        text.remove_suffix(1);
    }
    if (!ParseUnsigned(text, value) || value > UINT32_MAX) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "cadrix-discgen: %s\n", message.c_str());
    return 2;
}

struct Options {
    bool help = false;
    std::string out;
    std::string name;
    std::string demo;
    std::string audioOut;
    std::vector<uint32_t> lengths;
    uint64_t minutes = 0;
    uint64_t trackCount = 15;
    bool dataLast = false;
    bool dataFirst = false;
    bool session2 = false;
    bool printToc = false;
    uint64_t pregap = 0;
    uint64_t indexZero = 0;
    uint64_t hiddenAudio = 0;
    uint64_t indexTwo = 0;
    std::vector<std::string> isrcs;
    std::string preEmphasis;  // "all" or track numbers
    bool cdText = false;
    TrackMode dataMode = TrackMode::Mode1Raw;
    DiscDescription disc;
};

// Options without a value; false when `arg` is none of them.
bool ParseFlag(std::string_view arg, Options& o) {
    if (arg == "--help" || arg == "-h") o.help = true;
    else if (arg == "--data-last") o.dataLast = true;
    else if (arg == "--data-first") o.dataFirst = true;
    else if (arg == "--session2") o.session2 = true;
    else if (arg == "--motorola") o.disc.audioFiles = AudioFileType::Motorola;
    else if (arg == "--wave") o.disc.audioFiles = AudioFileType::Wave;
    else if (arg == "--file-per-track") o.disc.filePerTrack = true;
    else if (arg == "--print-toc") o.printToc = true;
    else if (arg == "--cd-text") o.cdText = true;
    else return false;
    return true;
}

bool ParseTrackLengths(std::string_view list, std::vector<uint32_t>& lengths, std::string& error) {
    while (!list.empty()) {
        const size_t comma = list.find(',');
        const auto length = ParseLength(list.substr(0, comma));
        if (!length) {
            error = "bad track length '" + std::string(list.substr(0, comma)) + "'";
            return false;
        }
        lengths.push_back(*length);
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    }
    return true;
}

// A number option: `value` must be a whole number from `low` to `high`.
bool ParseNumber(std::string_view value, uint64_t low, uint64_t high, uint64_t& target) {
    return ParseUnsigned(value, target) && target >= low && target <= high;
}

// Options with a value; false with `error` set when the value is wrong or
// `arg` is unknown.
bool ParseValueOption(std::string_view arg, std::string_view value, Options& o, std::string& error) {
    constexpr uint64_t kMaxFrames = 99 * 60 * 75;
    if (arg == "--out" || arg == "--name" || arg == "--demo" || arg == "--audio-out") {
        (arg == "--out"    ? o.out
         : arg == "--name" ? o.name
         : arg == "--demo" ? o.demo
                           : o.audioOut) = std::string(value);
        return true;
    }
    if (arg == "--tracks") return ParseTrackLengths(value, o.lengths, error);
    if (arg == "--mcn" || arg == "--pre-emphasis") {
        (arg == "--mcn" ? o.disc.mcn : o.preEmphasis) = std::string(value);
        return true;
    }
    if (arg == "--isrc") {
        for (size_t at = 0; at <= value.size();) {
            const size_t comma = std::min(value.find(',', at), value.size());
            o.isrcs.emplace_back(value.substr(at, comma - at));
            at = comma + 1;
        }
        return true;
    }
    if (arg == "--data-mode") {
        if (value == "mode1") o.dataMode = TrackMode::Mode1Raw;
        else if (value == "mode1-2048") o.dataMode = TrackMode::Mode1Cooked;
        else if (value == "mode2") o.dataMode = TrackMode::Mode2Raw;
        else error = "--data-mode is mode1, mode1-2048 or mode2";
        return error.empty();
    }
    const struct {
        std::string_view name;
        uint64_t* target;
        uint64_t low, high;
        const char* error;
    } numbers[] = {
        {"--minutes", &o.minutes, 1, 99, "--minutes needs 1 to 99"},
        {"--track-count", &o.trackCount, 1, 99, "--track-count needs 1 to 99"},
        {"--seed", &o.disc.seed, 0, UINT64_MAX, "--seed needs a number"},
        {"--pregap", &o.pregap, 0, kMaxFrames, "--pregap needs a frame count"},
        {"--index0", &o.indexZero, 0, kMaxFrames, "--index0 needs a frame count"},
        {"--htoa", &o.hiddenAudio, 0, kMaxFrames, "--htoa needs a frame count"},
        {"--index2", &o.indexTwo, 0, kMaxFrames, "--index2 needs a frame count"},
    };
    for (const auto& number : numbers) {
        if (arg != number.name) continue;
        if (!ParseNumber(value, number.low, number.high, *number.target)) error = number.error;
        return error.empty();
    }
    error = "unknown option '" + std::string(arg) + "' (see --help)";
    return false;
}

bool ParseOptions(const std::vector<std::string_view>& args, Options& o, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (ParseFlag(args[i], o)) continue;
        if (!args[i].starts_with("--") || i + 1 >= args.size()) {
            error = args[i].starts_with("--") ? std::string(args[i]) + " needs a value"
                                              : "unknown option '" + std::string(args[i]) + "' (see --help)";
            return false;
        }
        if (!ParseValueOption(args[i], args[i + 1], o, error)) return false;
        ++i;
    }
    return true;
}

// Whether track `number` (1-based) is in "all" or a comma-separated list.
bool Listed(std::string_view list, size_t number) {
    if (list == "all") return true;
    for (size_t at = 0; at < list.size();) {
        const size_t comma = std::min(list.find(',', at), list.size());
        uint64_t value = 0;
        if (ParseUnsigned(list.substr(at, comma - at), value) && value == number) return true;
        at = comma + 1;
    }
    return false;
}

// The ISRCs, INDEX 02 points, pre-emphasis and CD-Text of the options.
bool AddSubChannel(Options& o, std::string& error) {
    auto& tracks = o.disc.tracks;
    if (o.isrcs.size() > tracks.size()) {
        error = "--isrc lists more tracks than the disc has";
        return false;
    }
    for (size_t i = 0; i < tracks.size(); ++i) {
        if (i < o.isrcs.size()) tracks[i].isrc = o.isrcs[i];
        if (o.indexTwo > 0 && tracks[i].frames > o.indexTwo) tracks[i].index2Frames = static_cast<uint32_t>(o.indexTwo);
        tracks[i].preEmphasis = !o.preEmphasis.empty() && Listed(o.preEmphasis, i + 1);
        if (o.cdText) {
            tracks[i].title = "Track " + std::to_string(i + 1);
            tracks[i].performer = "Cadrix Ensemble";
        }
    }
    if (o.cdText) {
        o.disc.title = "Cadrix Test Disc";
        o.disc.performer = "Cadrix Ensemble";
    }
    return true;
}

// The disc the options describe; false with `error` when they conflict.
bool BuildDisc(Options& o, std::string& error) {
    DiscDescription& disc = o.disc;
    if (o.minutes != 0) {
        if (!o.lengths.empty()) {
            error = "--minutes and --tracks exclude each other";
            return false;
        }
        disc.tracks = EvenDisc(static_cast<uint32_t>(o.minutes * 60 * kFramesPerSecond), static_cast<int>(o.trackCount),
                               disc.seed)
                          .tracks;
    } else {
        if (o.lengths.empty()) o.lengths = {30 * kFramesPerSecond, 25 * kFramesPerSecond, 40 * kFramesPerSecond};
        disc.tracks = AudioDisc(o.lengths, disc.seed).tracks;
    }
    for (size_t i = 1; i < disc.tracks.size(); ++i) {
        disc.tracks[i].pregapFrames = static_cast<uint32_t>(o.pregap);
        disc.tracks[i].indexZeroFrames = static_cast<uint32_t>(o.indexZero);
    }
    disc.tracks.front().indexZeroFrames = static_cast<uint32_t>(o.hiddenAudio);
    if (!AddSubChannel(o, error)) return false;
    if (o.dataFirst) disc.tracks.front().mode = o.dataMode;
    if (o.dataLast || o.session2) {
        TrackDescription& last = disc.tracks.back();
        last.mode = o.dataMode;
        if (o.session2) {
            last.session = 2;
            last.pregapFrames = 0;
            last.indexZeroFrames = 0;
        }
    }
    return true;
}

void PrintToc(const ExpectedToc& toc) {
    for (size_t i = 0; i < toc.trackStarts.size(); ++i) {
        std::printf("track %2zu %s start %u\n", i + 1, toc.dataTracks[i] ? "data " : "audio", toc.trackStarts[i]);
    }
    std::printf("lead-out %u\n", toc.leadout);
}

// The audio of every audio track and where it lies, for tools that check a
// rip without reading the image back through the code under test.
bool WriteAudio(const DiscDescription& disc, const ExpectedToc& toc, const std::string& folder, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    std::ofstream layout(folder + "/layout.txt");
    for (size_t i = 0; i < disc.tracks.size() && layout; ++i) {
        if (toc.dataTracks[i]) continue;
        const uint32_t first = toc.trackStarts[i] - disc.tracks[i].indexZeroFrames;
        const uint32_t end = toc.trackStarts[i] + disc.tracks[i].frames;
        const std::vector<uint8_t> audio = ExpectedAudioRange(disc, first, end - first);
        const size_t ripped = ExpectedTrackPcm(disc, static_cast<int>(i + 1)).size() / kFrameBytes;
        char name[32];
        std::snprintf(name, sizeof name, "/%02zu.pcm", i + 1);
        std::ofstream(folder + name, std::ios::binary)
            .write(reinterpret_cast<const char*>(audio.data()), static_cast<std::streamsize>(audio.size()));
        layout << i + 1 << ' ' << first << ' ' << toc.trackStarts[i] << ' ' << end << ' ' << toc.trackStarts[i] + ripped
               << '\n';
    }
    if (!layout) error = "cannot write " + folder + "/layout.txt";
    return static_cast<bool>(layout);
}

int WriteDemoDisc(const std::string& folder) {
    std::string error;
    if (!WriteDemo(folder, &error)) return Fail(error);
    const ExpectedToc toc = ExpectedTocOf(DemoDiscDescription());
    std::printf("demo disc written to %s (CDDB id %08x)\n", folder.c_str(), toc.cddbId);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    std::string error;
    if (!ParseOptions(std::vector<std::string_view>(argv + 1, argv + argc), o, error)) return Fail(error);
    if (o.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!o.demo.empty()) return WriteDemoDisc(o.demo);
    if (o.out.empty() || o.name.empty()) return Fail("--out and --name are needed (see --help)");
    if (!BuildDisc(o, error) || !WriteDiscImage(o.disc, o.out, o.name, &error)) return Fail(error);
    const ExpectedToc toc = ExpectedTocOf(o.disc);
    std::printf("%s/%s.cue: %zu tracks, lead-out %u, CDDB id %08x\n", o.out.c_str(), o.name.c_str(),
                toc.trackStarts.size(), toc.leadout, toc.cddbId);
    if (o.printToc) PrintToc(toc);
    if (!o.audioOut.empty() && !WriteAudio(o.disc, toc, o.audioOut, error)) return Fail(error);
    return 0;
}
