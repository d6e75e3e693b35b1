#include "disc_generator.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <system_error>

#include "cddb_disc_id.h"
#include "data_sector.h"
#include "file_output.h"
#include "music_synth.h"

namespace cadrix::discgen {
namespace {

constexpr int kMaxTracks = 99;
// Everything up to the lead-out must have an MSF address below 100 minutes.
constexpr uint32_t kMaxLeadout = 100 * 60 * kFramesPerSecond - 150;
// Frames synthesised per step when streaming audio.
constexpr uint32_t kChunkFrames = 27 * 16;

struct TrackLayout {
    uint32_t pregapStart = 0;     // first PREGAP (silent) frame
    uint32_t indexZeroStart = 0;  // first frame stored in the file
    uint32_t start = 0;           // INDEX 01
    uint32_t end = 0;             // one past the track's own material
};

struct DataFile {
    std::string name;
    std::string type;            // BINARY, MOTOROLA or WAVE
    std::vector<size_t> tracks;  // indexes into the description
};

struct DiscLayout {
    std::vector<TrackLayout> tracks;
    uint32_t leadout = 0;
    uint32_t audioEnd = 0;
};

bool IsAudio(const TrackDescription& track) { return track.mode == TrackMode::Audio; }

DiscLayout LayOut(const DiscDescription& disc) {
    DiscLayout layout;
    uint32_t position = 0;
    bool inSecondSession = false;
    for (const TrackDescription& track : disc.tracks) {
        TrackLayout t;
        if (track.session == 2 && !inSecondSession) {
            inSecondSession = true;
            position += kSessionGapFrames;
        }
        t.pregapStart = position;
        position += track.pregapFrames;
        t.indexZeroStart = position;
        position += track.indexZeroFrames;
        t.start = position;
        position += track.frames;
        t.end = position;
        if (IsAudio(track)) {
            layout.audioEnd = t.end;
        }
        layout.tracks.push_back(t);
    }
    layout.leadout = position;
    return layout;
}

uint64_t TrackSeed(uint64_t seed, size_t trackIndex) { return seed * 1000003ULL + trackIndex * 7919ULL + 17; }

// Streams the stored audio of one track (INDEX 00 frames, then the track) in
// chunks of 16-bit stereo samples.
template <typename Sink>
void RenderTrackAudio(const DiscDescription& disc, size_t trackIndex, Sink&& sink) {
    const TrackDescription& track = disc.tracks[trackIndex];
    MusicSynth synth(TrackSeed(disc.seed, trackIndex));
    std::vector<int16_t> samples(static_cast<size_t>(kChunkFrames) * kFrameBytes / 2);
    uint32_t left = track.indexZeroFrames + track.frames;
    while (left > 0) {
        const uint32_t frames = std::min(left, kChunkFrames);
        const std::span<int16_t> chunk(samples.data(), static_cast<size_t>(frames) * kFrameBytes / 2);
        synth.Render(chunk);
        sink(std::span<const int16_t>(chunk));
        left -= frames;
    }
}

void StoreSamples(std::span<const int16_t> samples, bool bigEndian, std::span<uint8_t> bytes) {
    const size_t low = bigEndian ? 1 : 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        const auto value = static_cast<uint16_t>(samples[i]);
        bytes[2 * i + low] = static_cast<uint8_t>(value);
        bytes[2 * i + (1 - low)] = static_cast<uint8_t>(value >> 8);
    }
}

// The stored audio of one track as little-endian bytes.
std::vector<uint8_t> TrackAudioBytes(const DiscDescription& disc, size_t trackIndex) {
    const TrackDescription& track = disc.tracks[trackIndex];
    std::vector<uint8_t> bytes(static_cast<size_t>(track.indexZeroFrames + track.frames) * kFrameBytes);
    size_t at = 0;
    RenderTrackAudio(disc, trackIndex, [&](std::span<const int16_t> samples) {
        StoreSamples(samples, false, std::span(bytes).subspan(at, samples.size() * 2));
        at += samples.size() * 2;
    });
    return bytes;
}

std::vector<DataFile> PlanFiles(const DiscDescription& disc, std::string_view baseName) {
    std::vector<DataFile> files;
    const bool perTrack = disc.filePerTrack || disc.audioFiles == AudioFileType::Wave;
    uint32_t previousSectorBytes = 0;
    for (size_t i = 0; i < disc.tracks.size(); ++i) {
        const TrackDescription& track = disc.tracks[i];
        std::string type = "BINARY";
        if (IsAudio(track)) {
            type = disc.audioFiles == AudioFileType::Motorola ? "MOTOROLA"
                   : disc.audioFiles == AudioFileType::Wave   ? "WAVE"
                                                              : "BINARY";
        }
        const uint32_t sectorBytes = SectorBytes(track.mode);
        if (perTrack || files.empty() || files.back().type != type || previousSectorBytes != sectorBytes) {
            files.push_back(DataFile{{}, type, {}});
        }
        files.back().tracks.push_back(i);
        previousSectorBytes = sectorBytes;
    }
    for (DataFile& file : files) {
        const char* extension = file.type == "WAVE" ? ".wav" : ".bin";
        if (files.size() == 1) {
            file.name = std::string(baseName) + extension;
        } else {
            char number[8];
            std::snprintf(number, sizeof number, "-%02zu", file.tracks.front() + 1);
            file.name = std::string(baseName) + number + extension;
        }
    }
    return files;
}

std::string Msf(uint64_t frames) {
    char text[72];
    std::snprintf(text, sizeof text, "%02llu:%02llu:%02llu",
                  static_cast<unsigned long long>(frames / (60 * kFramesPerSecond)),
                  static_cast<unsigned long long>(frames / kFramesPerSecond % 60),
                  static_cast<unsigned long long>(frames % kFramesPerSecond));
    return text;
}

const char* ModeText(TrackMode mode) {
    switch (mode) {
        case TrackMode::Audio: return "AUDIO";
        case TrackMode::Mode1Raw: return "MODE1/2352";
        case TrackMode::Mode1Cooked: return "MODE1/2048";
        case TrackMode::Mode2Raw: return "MODE2/2352";
    }
    return "AUDIO";
}

bool WriteTrackMaterial(const DiscDescription& disc, const DiscLayout& layout, size_t trackIndex, bool bigEndian,
                        AtomicFile& out) {
    const TrackDescription& track = disc.tracks[trackIndex];
    if (IsAudio(track)) {
        std::vector<uint8_t> bytes;
        bool ok = true;
        RenderTrackAudio(disc, trackIndex, [&](std::span<const int16_t> samples) {
            bytes.resize(samples.size() * 2);
            StoreSamples(samples, bigEndian, bytes);
            ok = ok && out.Write(bytes);
        });
        return ok;
    }
    std::vector<uint8_t> sector(SectorBytes(track.mode));
    const TrackLayout& t = layout.tracks[trackIndex];
    for (uint32_t lba = t.indexZeroStart; lba < t.end; ++lba) {
        MakeDataSector(track.mode, lba, disc.seed, sector);
        if (!out.Write(sector)) {
            return false;
        }
    }
    return true;
}

bool IsDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// 13 digits; an ISRC is 5 capital letters or digits, then 7 digits.
bool IsValidCode(std::string_view code, bool isrc) {
    if (code.empty()) return true;
    if (!isrc) return code.size() == 13 && IsDigits(code);
    return code.size() == 12 && IsDigits(code.substr(5)) && std::all_of(code.begin(), code.begin() + 5, [](char c) {
               return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
           });
}

// A CD-Text line of the sheet; quotes cannot be written inside one.
std::string TextLine(const char* indent, const char* keyword, const std::string& text) {
    if (text.empty()) return {};
    return std::string(indent) + keyword + " \"" + text + "\"\n";
}

void SetError(std::string* error, std::string text) {
    if (error != nullptr) {
        *error = std::move(text);
    }
}

}  // namespace

bool IsValidDescription(const DiscDescription& disc, std::string* why) {
    if (disc.tracks.empty() || disc.tracks.size() > kMaxTracks) {
        SetError(why, "a disc has 1 to 99 tracks");
        return false;
    }
    int session = 1;
    for (size_t i = 0; i < disc.tracks.size(); ++i) {
        const TrackDescription& track = disc.tracks[i];
        const std::string name = "track " + std::to_string(i + 1);
        if (track.frames == 0) {
            SetError(why, name + " has no frames");
            return false;
        }
        if (track.session < session || track.session > 2) {
            SetError(why, name + ": sessions must be 1, then 2");
            return false;
        }
        if (track.session == 2 && session == 1) {
            if (i == 0) {
                SetError(why, "the first session needs a track");
                return false;
            }
            if (IsAudio(track) || track.pregapFrames != 0 || track.indexZeroFrames != 0) {
                SetError(why, name + ": the second session opens with a data track without pregap fields");
                return false;
            }
        }
        session = track.session;
        if (!IsValidCode(track.isrc, true) || track.index2Frames >= track.frames ||
            track.title.find('"') != std::string::npos || track.performer.find('"') != std::string::npos) {
            SetError(why, name + ": a bad ISRC, INDEX 02 past its end, or a quote in its CD-Text");
            return false;
        }
        if (track.frames > kMaxLeadout || track.pregapFrames > kMaxLeadout || track.indexZeroFrames > kMaxLeadout) {
            SetError(why, name + " is too long");
            return false;
        }
    }
    if (!IsValidCode(disc.mcn, false) || disc.title.find('"') != std::string::npos ||
        disc.performer.find('"') != std::string::npos) {
        SetError(why, "the catalog number is not 13 digits, or the disc's CD-Text has a quote");
        return false;
    }
    if (LayOut(disc).leadout > kMaxLeadout) {
        SetError(why, "the disc is longer than 99 minutes");
        return false;
    }
    return true;
}

ExpectedToc ExpectedTocOf(const DiscDescription& disc) {
    ExpectedToc toc;
    if (!IsValidDescription(disc)) {
        return toc;
    }
    const DiscLayout layout = LayOut(disc);
    for (size_t i = 0; i < disc.tracks.size(); ++i) {
        toc.trackStarts.push_back(layout.tracks[i].start);
        toc.dataTracks.push_back(!IsAudio(disc.tracks[i]));
    }
    toc.leadout = layout.leadout;
    toc.audioEnd = layout.audioEnd;
    toc.cddbId = CddbDiscId(toc.trackStarts, toc.leadout);
    return toc;
}

std::vector<uint8_t> ExpectedAudioRange(const DiscDescription& disc, uint32_t lba, uint32_t frames) {
    std::vector<uint8_t> out(static_cast<size_t>(frames) * kFrameBytes, 0);
    if (!IsValidDescription(disc)) {
        return out;
    }
    const DiscLayout layout = LayOut(disc);
    const uint64_t end = uint64_t{lba} + frames;
    for (size_t i = 0; i < disc.tracks.size(); ++i) {
        const TrackLayout& t = layout.tracks[i];
        // PREGAP frames of an audio track are digital silence: already zero.
        if (!IsAudio(disc.tracks[i]) || t.end <= lba || t.indexZeroStart >= end) {
            continue;
        }
        const std::vector<uint8_t> audio = TrackAudioBytes(disc, i);
        const uint32_t from = std::max(lba, t.indexZeroStart);
        const auto to = static_cast<uint32_t>(std::min<uint64_t>(end, t.end));
        std::copy(audio.begin() + static_cast<std::ptrdiff_t>(uint64_t{from - t.indexZeroStart} * kFrameBytes),
                  audio.begin() + static_cast<std::ptrdiff_t>(uint64_t{to - t.indexZeroStart} * kFrameBytes),
                  out.begin() + static_cast<std::ptrdiff_t>(uint64_t{from - lba} * kFrameBytes));
    }
    return out;
}

std::vector<uint8_t> ExpectedTrackPcm(const DiscDescription& disc, int trackNumber) {
    if (!IsValidDescription(disc) || trackNumber < 1 || static_cast<size_t>(trackNumber) > disc.tracks.size()) {
        return {};
    }
    const auto index = static_cast<size_t>(trackNumber - 1);
    if (!IsAudio(disc.tracks[index])) {
        return {};
    }
    const DiscLayout layout = LayOut(disc);
    uint32_t end = layout.leadout;
    if (index + 1 < disc.tracks.size()) {
        const TrackLayout& next = layout.tracks[index + 1];
        // A following audio track's pregap belongs to this track; a data
        // track's pregap, or the session gap, ends the readable audio. Every
        // data track after audio has a pregap of two seconds at least, so a
        // drive takes the two seconds before one without it as that pregap.
        end = IsAudio(disc.tracks[index + 1]) ? next.start : layout.tracks[index].end;
        if (!IsAudio(disc.tracks[index + 1]) && disc.tracks[index + 1].session == disc.tracks[index].session) {
            end = std::min(end, next.start - std::min(next.start, kDataPregapFrames));
        }
    }
    const uint32_t start = layout.tracks[index].start;
    return ExpectedAudioRange(disc, start, end - start);
}

std::string CueSheetText(const DiscDescription& disc, std::string_view baseName) {
    if (!IsValidDescription(disc)) {
        return {};
    }
    const std::vector<DataFile> files = PlanFiles(disc, baseName);
    const bool twoSessions = disc.tracks.back().session == 2;
    std::string cue = "REM COMMENT \"cadrix-discgen\"\n";
    if (!disc.mcn.empty()) cue += "CATALOG " + disc.mcn + "\n";
    cue += TextLine("", "PERFORMER", disc.performer) + TextLine("", "TITLE", disc.title);
    if (twoSessions) {
        cue += "REM SESSION 01\n";
    }
    int session = 1;
    for (const DataFile& file : files) {
        uint64_t fileFrames = 0;  // position in the file, in sectors
        bool fileLineWritten = false;
        for (size_t index : file.tracks) {
            const TrackDescription& track = disc.tracks[index];
            if (track.session != session) {
                session = track.session;
                cue += "REM SESSION 02\n";
            }
            if (!fileLineWritten) {
                cue += "FILE \"" + file.name + "\" " + file.type + "\n";
                fileLineWritten = true;
            }
            char line[64];
            std::snprintf(line, sizeof line, "  TRACK %02zu %s\n", index + 1, ModeText(track.mode));
            cue += line;
            cue += TextLine("    ", "TITLE", track.title) + TextLine("    ", "PERFORMER", track.performer);
            if (track.preEmphasis) cue += "    FLAGS PRE\n";
            if (!track.isrc.empty()) cue += "    ISRC " + track.isrc + "\n";
            if (track.pregapFrames > 0) {
                cue += "    PREGAP " + Msf(track.pregapFrames) + "\n";
            }
            if (track.indexZeroFrames > 0) {
                cue += "    INDEX 00 " + Msf(fileFrames) + "\n";
            }
            fileFrames += track.indexZeroFrames;
            cue += "    INDEX 01 " + Msf(fileFrames) + "\n";
            if (track.index2Frames > 0) cue += "    INDEX 02 " + Msf(fileFrames + track.index2Frames) + "\n";
            fileFrames += track.frames;
        }
    }
    return cue;
}

bool WriteDiscImage(const DiscDescription& disc, const std::filesystem::path& folder, std::string_view baseName,
                    std::string* error) {
    std::string why;
    if (!IsValidDescription(disc, &why)) {
        SetError(error, "invalid disc: " + why);
        return false;
    }
    if (baseName.empty() || baseName.find('/') != std::string_view::npos) {
        SetError(error, "invalid image name");
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        SetError(error, "cannot create " + folder.string() + ": " + ec.message());
        return false;
    }
    // An image being replaced disappears first (the drive folder reads as
    // empty) so a failure part-way never leaves an old sheet over new files.
    const std::filesystem::path cuePath = folder / (std::string(baseName) + ".cue");
    std::filesystem::remove(cuePath, ec);
    const DiscLayout layout = LayOut(disc);
    for (const DataFile& file : PlanFiles(disc, baseName)) {
        AtomicFile out(folder / file.name);
        bool ok = out.IsOpen();
        if (ok && file.type == "WAVE") {
            uint64_t frames = 0;
            for (size_t index : file.tracks) {
                frames += disc.tracks[index].indexZeroFrames + disc.tracks[index].frames;
            }
            ok = out.Write(WaveHeader(static_cast<uint32_t>(frames * kFrameBytes)));
        }
        for (size_t index : file.tracks) {
            ok = ok && WriteTrackMaterial(disc, layout, index, file.type == "MOTOROLA", out);
        }
        if (!ok || !out.Commit()) {
            SetError(error, "cannot write " + (folder / file.name).string());
            return false;
        }
    }
    const std::string cue = CueSheetText(disc, baseName);
    AtomicFile cueFile(cuePath);
    if (!cueFile.Write(std::span(reinterpret_cast<const uint8_t*>(cue.data()), cue.size())) || !cueFile.Commit()) {
        SetError(error, "cannot write the CUE sheet in " + folder.string());
        return false;
    }
    return true;
}

DiscDescription AudioDisc(const std::vector<uint32_t>& frames, uint64_t seed) {
    DiscDescription disc;
    disc.seed = seed;
    for (uint32_t f : frames) {
        TrackDescription track;
        track.frames = f;
        disc.tracks.push_back(track);
    }
    return disc;
}

DiscDescription EvenDisc(uint32_t totalFrames, int trackCount, uint64_t seed) {
    DiscDescription disc;
    disc.seed = seed;
    if (trackCount < 1) {
        return disc;
    }
    const uint32_t each = totalFrames / static_cast<uint32_t>(trackCount);
    for (int i = 0; i < trackCount; ++i) {
        TrackDescription track;
        track.frames = i + 1 < trackCount ? each : totalFrames - each * static_cast<uint32_t>(trackCount - 1);
        disc.tracks.push_back(track);
    }
    return disc;
}

}  // namespace cadrix::discgen
