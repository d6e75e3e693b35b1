// cadrix-discgen: writes deterministic CUE/BIN test discs and the demo disc.
#include <charconv>
#include <cstdio>
#include <cstring>
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

Files:
  --motorola          audio stored big-endian (FILE ... MOTOROLA)
  --wave              audio stored in one WAVE file per track
  --file-per-track    one FILE per track
  --seed N            content seed (default 1); equal options give equal bytes

Other:
  --print-toc         print each track's start, the lead-out and the CDDB id
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

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    std::string out;
    std::string name;
    std::string demo;
    std::vector<uint32_t> lengths;
    uint64_t minutes = 0;
    uint64_t trackCount = 15;
    bool dataLast = false;
    bool dataFirst = false;
    bool session2 = false;
    bool printToc = false;
    uint64_t pregap = 0;
    uint64_t indexZero = 0;
    TrackMode dataMode = TrackMode::Mode1Raw;
    DiscDescription disc;

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        const auto value = [&]() -> std::optional<std::string_view> {
            if (i + 1 >= args.size()) {
                return std::nullopt;
            }
            return args[++i];
        };
        const auto number = [&](uint64_t& target) {
            const auto text = value();
            return text && ParseUnsigned(*text, target);
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--out" || arg == "--name" || arg == "--demo") {
            const auto text = value();
            if (!text) {
                return Fail(std::string(arg) + " needs a value");
            }
            (arg == "--out" ? out : arg == "--name" ? name : demo) = std::string(*text);
        } else if (arg == "--tracks") {
            const auto text = value();
            if (!text) {
                return Fail("--tracks needs a list");
            }
            std::string_view list = *text;
            while (!list.empty()) {
                const size_t comma = list.find(',');
                const auto length = ParseLength(list.substr(0, comma));
                if (!length) {
                    return Fail("bad track length '" + std::string(list.substr(0, comma)) + "'");
                }
                lengths.push_back(*length);
                list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
            }
        } else if (arg == "--minutes") {
            if (!number(minutes) || minutes == 0 || minutes > 99) {
                return Fail("--minutes needs 1 to 99");
            }
        } else if (arg == "--track-count") {
            if (!number(trackCount) || trackCount == 0 || trackCount > 99) {
                return Fail("--track-count needs 1 to 99");
            }
        } else if (arg == "--seed") {
            if (!number(disc.seed)) {
                return Fail("--seed needs a number");
            }
        } else if (arg == "--pregap") {
            if (!number(pregap) || pregap > 99 * 60 * 75) {
                return Fail("--pregap needs a frame count");
            }
        } else if (arg == "--index0") {
            if (!number(indexZero) || indexZero > 99 * 60 * 75) {
                return Fail("--index0 needs a frame count");
            }
        } else if (arg == "--data-mode") {
            const auto text = value();
            if (text == "mode1") {
                dataMode = TrackMode::Mode1Raw;
            } else if (text == "mode1-2048") {
                dataMode = TrackMode::Mode1Cooked;
            } else if (text == "mode2") {
                dataMode = TrackMode::Mode2Raw;
            } else {
                return Fail("--data-mode is mode1, mode1-2048 or mode2");
            }
        } else if (arg == "--data-last") {
            dataLast = true;
        } else if (arg == "--data-first") {
            dataFirst = true;
        } else if (arg == "--session2") {
            session2 = true;
        } else if (arg == "--motorola") {
            disc.audioFiles = AudioFileType::Motorola;
        } else if (arg == "--wave") {
            disc.audioFiles = AudioFileType::Wave;
        } else if (arg == "--file-per-track") {
            disc.filePerTrack = true;
        } else if (arg == "--print-toc") {
            printToc = true;
        } else {
            return Fail("unknown option '" + std::string(arg) + "' (see --help)");
        }
    }

    if (!demo.empty()) {
        std::string error;
        if (!WriteDemo(demo, &error)) {
            return Fail(error);
        }
        const ExpectedToc toc = ExpectedTocOf(DemoDiscDescription());
        std::printf("demo disc written to %s (CDDB id %08x)\n", demo.c_str(), toc.cddbId);
        return 0;
    }
    if (out.empty() || name.empty()) {
        return Fail("--out and --name are needed (see --help)");
    }
    if (minutes != 0) {
        if (!lengths.empty()) {
            return Fail("--minutes and --tracks exclude each other");
        }
        disc.tracks = EvenDisc(static_cast<uint32_t>(minutes * 60 * kFramesPerSecond), static_cast<int>(trackCount),
                               disc.seed).tracks;
    } else {
        if (lengths.empty()) {
            lengths = {30 * kFramesPerSecond, 25 * kFramesPerSecond, 40 * kFramesPerSecond};
        }
        for (uint32_t frames : lengths) {
            TrackDescription track;
            track.frames = frames;
            disc.tracks.push_back(track);
        }
    }
    for (size_t i = 1; i < disc.tracks.size(); ++i) {
        disc.tracks[i].pregapFrames = static_cast<uint32_t>(pregap);
        disc.tracks[i].indexZeroFrames = static_cast<uint32_t>(indexZero);
    }
    if (dataFirst) {
        disc.tracks.front().mode = dataMode;
    }
    if (dataLast || session2) {
        TrackDescription& last = disc.tracks.back();
        last.mode = dataMode;
        if (session2) {
            last.session = 2;
            last.pregapFrames = 0;
            last.indexZeroFrames = 0;
        }
    }
    std::string error;
    if (!WriteDiscImage(disc, out, name, &error)) {
        return Fail(error);
    }
    const ExpectedToc toc = ExpectedTocOf(disc);
    std::printf("%s/%s.cue: %zu tracks, lead-out %u, CDDB id %08x\n", out.c_str(), name.c_str(),
                toc.trackStarts.size(), toc.leadout, toc.cddbId);
    if (printToc) {
        for (size_t i = 0; i < toc.trackStarts.size(); ++i) {
            std::printf("track %2zu %s start %u\n", i + 1, toc.dataTracks[i] ? "data " : "audio", toc.trackStarts[i]);
        }
        std::printf("lead-out %u\n", toc.leadout);
    }
    return 0;
}
