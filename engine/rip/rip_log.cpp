#include "rip/rip_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "names/musicbrainz_lookup.h"
#include "names/name_source.h"
#include "output/output_format.h"
#include "rip/extract_worker.h"
#include "util/build_info.h"
#include "util/sha256.h"
#include "util/small_file.h"

namespace cadrix {

namespace {

// A bound on the search for a free name, far beyond any real folder's runs.
constexpr int MAX_LOGS_PER_FOLDER = 9999;

std::string Hex8(uint32_t value) {
    char text[12];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

std::string SignedOffset(int32_t samples) { return (samples > 0 ? "+" : "") + std::to_string(samples); }

// "3:25.40": minutes, seconds and sectors.
std::string Duration(int64_t sectors) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld.%02lld", static_cast<long long>(sectors / 4500),
                  static_cast<long long>(sectors / 75 % 60), static_cast<long long>(sectors % 75));
    return text;
}

std::string OffsetText(const RunVerifier& verifier) {
    static constexpr const char* kSources[] = {"unknown, so 0", "CADRIX_READ_OFFSET", "kept for this drive",
                                               "AccurateRip's drive list", "an image reads exactly"};
    return SignedOffset(verifier.Offset()) + " (" + kSources[static_cast<int>(verifier.Source())] + ")";
}

std::string LookupText(const RunVerifier& verifier) {
    if (!verifier.Asked()) return "AccurateRip lookup off";
    const ArLookupResult* result = verifier.Lookup();
    return result != nullptr ? result->reason : "AccurateRip: no answer before the run ended";
}

// The output's file name, as the sink that wrote it named it.
std::string FileName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// "1, 2 and 5".
std::string TrackNumbers(const std::vector<int32_t>& tracks) {
    std::string text;
    for (size_t k = 0; k < tracks.size(); ++k) {
        text += (k == 0 ? "" : k + 1 == tracks.size() ? " and " : ", ") + std::to_string(tracks[k]);
    }
    return text;
}

// Why no track could be judged, once for the run; empty when AccurateRip
// answered about the disc (whatever it said).
std::string UnverifiedText(const RunVerifier& verifier) {
    if (!verifier.Asked()) return "AccurateRip lookup off: the rip is not verified";
    const ArLookupResult* result = verifier.Lookup();
    if (result != nullptr && result->status != ArLookupStatus::Failed) return {};
    if (result != nullptr && !result->unreachable) return "AccurateRip gave no usable answer: the rip is not verified";
    return "AccurateRip could not be reached: the rip is not verified";
}

std::string ReadText(const TrackVerification& track) {
    switch (track.way) {
        case ReadWay::Burst: return "burst (full speed), proven by AccurateRip";
        case ReadWay::BurstThenSecure:
            return "burst (CRC32 " + Hex8(track.burstCrc32) + "), not proven, then secure (CRC32 " + Hex8(track.crc32) +
                   "): the two reads " + (track.burstCrc32 == track.crc32 ? "agree" : "differ");
        case ReadWay::Secure: break;
    }
    return "secure";
}

std::string StatsText(const AkripReadStats& stats) {
    std::string text = std::to_string(stats.sectorsReread) + " sectors re-read, ";
    if (stats.unreadableCount == 0) return text + "no unreadable sectors";
    text += std::to_string(stats.unreadableCount) + " unreadable:";
    for (uint32_t k = 0; k < stats.unreadableCount && k < AKRIP_STATS_UNREADABLE_SLOTS; ++k) {
        text += " " + std::to_string(stats.unreadable[k]);
    }
    return text + (stats.unreadableCount > AKRIP_STATS_UNREADABLE_SLOTS ? " ..." : "");
}

// What the sub-channel says of track `t`, and its peak level.
void AppendTrackLayout(std::string& log, const OutputSession& session, int32_t t) {
    const DiscLayout& layout = session.Drive().layout;
    char peak[32];
    std::snprintf(peak, sizeof peak, "%.6f", session.peaks[static_cast<size_t>(t) % TRACK_SLOTS] / 32768.0);
    log += std::string("  Peak level: ") + peak + "\n";
    if (t == 0) {
        log += "  Position: sectors 0-" + std::to_string(layout.HiddenFrames() - 1) + ", before track 1's INDEX 01\n";
        return;
    }
    const TrackLayout* track = layout.Track(t);
    if (track == nullptr) return;
    std::string indexes = "  Index points: ";
    if (track->index0 < track->index1) indexes += "00 at " + std::to_string(track->index0) + ", ";
    indexes += "01 at " + std::to_string(track->index1);
    for (size_t i = 0; i < track->indexes.size(); ++i) {
        char number[8];
        std::snprintf(number, sizeof number, "%02zu", i + 2);
        indexes += std::string(", ") + number + " at " + std::to_string(track->indexes[i]);
    }
    log += indexes + "\n";
    log += "  Pregap: " + CueTime(track->PregapFrames()) + "\n";
    log += "  ISRC: " + (track->isrc.empty() ? std::string("none") : track->isrc) + "\n";
    log += std::string("  Pre-emphasis: ") + (track->PreEmphasis() ? "yes (the audio is kept as on the disc)" : "no") +
           "\n";
}

// What the disc keeps beyond its TOC, for the log's head.
void AppendDiscLayout(std::string& log, const OutputSession& session, const std::string& cueSheet) {
    const DriveRecord& disc = session.Drive();
    const DiscLayout& layout = disc.layout;
    log += "MCN: " + (layout.mcn.empty() ? std::string("none") : layout.mcn) + "\n";
    log += std::string("Sub-channel: ") + LayoutSourceText(layout.source) + "\n";
    const std::string before = CueTime(layout.HiddenFrames());
    switch (layout.hidden) {
        case HiddenAudio::Present:
            log += "Hidden track one audio: " + before + " before track 1, " +
                   (disc.tracks[0].selected != 0 ? "ripped as track 0" : "not selected") + "\n";
            break;
        case HiddenAudio::Silent:
            log += "Hidden track one audio: none (" + before + " of silence before track 1)\n";
            break;
        case HiddenAudio::Unreadable:
            log += "Hidden track one audio: the drive cannot read the " + before + " before track 1\n";
            break;
        case HiddenAudio::None: log += "Hidden track one audio: none\n"; break;
    }
    std::string emphasised;
    for (size_t k = 0; k < layout.tracks.size(); ++k) {
        if (layout.tracks[k].PreEmphasis()) emphasised += (emphasised.empty() ? "" : ", ") + std::to_string(k + 1);
    }
    log += "Pre-emphasis: " +
           (emphasised.empty() ? std::string("none") : "tracks " + emphasised + ", not de-emphasised") + "\n";
    log += "Gaps: appended (a file runs from its track's INDEX 01 to the next track's INDEX 01)\n";
    log += "Cue sheet: " + (cueSheet.empty() ? std::string("none (the run did not rip the whole disc)") : cueSheet) +
           "\n";
}

void AppendTrack(std::string& log, const OutputSession& session, const ExtractionRun& run, int32_t t) {
    const TrackVerification& track = session.verifier.Track(t);
    log += "\nTrack " + std::to_string(t) + "\n";
    if (track.aborted && !track.read) {
        const int64_t sectors = static_cast<int64_t>(track.samples / cd::kSamplesPerFrame);
        log += "  File: " + FileName(track.file) + "\n";
        log += "  Aborted after " + Duration(sectors) + " (" + std::to_string(sectors) + " sectors): " +
               (track.way == ReadWay::Burst ? "read at full speed, its audio is unverified"
                                            : "read securely, every sector verified") +
               "\n";
        return;
    }
    if (!track.read) {
        const bool failedHere = run.FailedTrack() == t && !run.FailureReason().empty();
        log += "  Not extracted" + (failedHere ? ": " + run.FailureReason() : std::string()) + "\n";
        return;
    }
    const int64_t sectors = static_cast<int64_t>(track.samples / cd::kSamplesPerFrame);
    log += "  File: " + FileName(track.file) + "\n";
    log += "  Length: " + Duration(sectors) + " (" + std::to_string(sectors) + " sectors)\n";
    log += "  Read: " + ReadText(track) + "\n";
    log += "  CRC32: " + Hex8(track.crc32) + "\n";
    log += "  AccurateRip v1: " + Hex8(track.v1) + ", v2: " + Hex8(track.v2) + "\n";
    log += "  Result: " +
           (t == 0 ? std::string("AccurateRip does not cover the hidden track one audio")
                   : VerdictText(track, session.verifier)) +
           "\n";
    AppendTrackLayout(log, session, t);
    if (session.takeReadStats != nullptr) {
        log += "  Reading: " + StatsText(session.readStats[static_cast<size_t>(t) % TRACK_SLOTS]) + "\n";
    }
    if (run.FailedTrack() == t && !run.FailureReason().empty()) log += "  Failed: " + run.FailureReason() + "\n";
}

}  // namespace

std::string VerdictText(const TrackVerification& track, const RunVerifier&) {
    switch (track.ar.verdict) {
        case ArVerdict::Accurate: return "accurate (confidence " + std::to_string(track.ar.confidence) + ")";
        case ArVerdict::NotAccurate: return "not accurate";
        case ArVerdict::NotInDatabase: return "disc not in AccurateRip";
        case ArVerdict::TrackNotInDatabase: return "track not in AccurateRip";
        case ArVerdict::NotLookedUp: break;
    }
    return "not verified";
}

std::string ArResultText(const TrackVerification& track, const RunVerifier& verifier) {
    const bool v1 = track.ar.verdict == ArVerdict::Accurate && !track.ar.v2;
    return std::string("AccurateRip ") + (v1 ? "v1 " + Hex8(track.v1) : "v2 " + Hex8(track.v2)) + ", " +
           VerdictText(track, verifier);
}

RunTally TallyRun(const OutputSession& session) {
    RunTally tally;
    tally.unverified = UnverifiedText(session.verifier);
    const DriveRecord& disc = session.Drive();
    for (int32_t t = 1; t <= disc.trackCount && t < TRACK_SLOTS; ++t) {
        if (disc.tracks[static_cast<size_t>(t)].selected == 0) continue;
        ++tally.tracks;
        const TrackVerification& track = session.verifier.Track(t);
        if (!track.read) continue;
        if (track.ar.verdict == ArVerdict::Accurate) ++tally.accurate;
        if (track.ar.verdict != ArVerdict::NotAccurate) continue;
        tally.notAccurate.push_back(t);
        if (track.way != ReadWay::BurstThenSecure) tally.readOnce.push_back(t);
        else if (track.burstCrc32 == track.crc32) tally.readsAgree.push_back(t);
        else tally.readsDiffer.push_back(t);
    }
    return tally;
}

std::string SummaryText(const RunTally& tally) {
    if (!tally.unverified.empty()) return tally.unverified;
    if (tally.tracks > 0 && tally.accurate == tally.tracks) return "All tracks accurately ripped";
    return std::to_string(tally.tracks - tally.accurate) + " of " + std::to_string(tally.tracks) +
           (tally.tracks == 1 ? " track" : " tracks") + " could not be verified";
}

std::string NotAccurateMessage(const RunTally& tally, const std::string& logPath, const std::string& logError) {
    std::string text;
    auto say = [&text](const std::vector<int32_t>& tracks, const char* one, const char* several) {
        if (tracks.empty()) return;
        text += (tracks.size() == 1 ? "Track " : "Tracks ") + TrackNumbers(tracks) + ": AccurateRip does not know " +
                (tracks.size() == 1 ? one : several) + "\n";
    };
    say(tally.readsAgree, "this rip's checksum: another pressing, or a damaged disc; both reads agree.",
        "these rips' checksums: another pressing, or a damaged disc; both reads of each agree.");
    say(tally.readsDiffer, "this rip's checksum, and its two reads differ: the disc may be damaged.",
        "these rips' checksums, and their two reads differ: the disc may be damaged.");
    say(tally.readOnce, "this rip's checksum: another pressing, or a damaged disc.",
        "these rips' checksums: another pressing, or a damaged disc.");
    return text + "\n" + (logPath.empty() ? "No log could be written: " + logError : "See the log: " + logPath);
}

std::string RipLogText(const OutputSession& session, const ExtractionRun& run, const std::string& cueSheet) {
    const RunVerifier& verifier = session.verifier;
    const DriveRecord& disc = session.Drive();
    std::string log = "Cadrix " + std::string(ClientVersion()) + " rip log\n";
    char when[64] = "";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) != nullptr) std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
    log += std::string("Written: ") + when + "\n\n";
    const DriveFacts& drive = verifier.Drive();
    log += "Drive: " + (drive.known ? drive.Key() : disc.name + " (its INQUIRY data unknown)") + "\n";
    log += "Read offset: " + OffsetText(verifier) + "\n";
    log += std::string("Reading: ") +
           (verifier.Lookup() != nullptr && verifier.Lookup()->status == ArLookupStatus::Found
                ? "burst, proven by AccurateRip; secure where it does not prove a track\n"
                : "secure (every sector verified)\n");
    const DiscQuery query = MakeDiscQuery(disc);
    log += "Disc: " + (disc.discTitle.empty() ? std::string("untitled") : disc.discArtist + " - " + disc.discTitle) +
           "\n";
    log += "CDDB id: " + Hex8(disc.discId) + "\n";
    log += "AccurateRip id: " + MakeAccurateRipDiscId(query).Text() + "\n";
    log += "MusicBrainz disc id: " + MusicBrainzDiscId(query) + "\n";
    AppendDiscLayout(log, session, cueSheet);
    log += LookupText(verifier) + "\n";
    const OutputFormatInfo* format = FindOutputFormat(session.Format());
    log += std::string("Format: ") + (format != nullptr ? format->listText : "?") + "\n";
    for (int32_t t = disc.layout.HasHiddenTrack() ? 0 : 1; t <= disc.trackCount && t < TRACK_SLOTS; ++t) {
        if (disc.tracks[static_cast<size_t>(t)].selected != 0) AppendTrack(log, session, run, t);
    }
    if (run.State() == RunState::Aborted) log += "\nThe run was aborted.\n";
    else if (run.State() == RunState::Failed) log += "\nThe run failed.\n";
    log += "\n" + SummaryText(TallyRun(session)) + "\n";
    return SealLogText(log);
}

std::string SealLogText(const std::string& text) { return text + LOG_SEAL_PREFIX + Sha256Hex(text) + "\n"; }

bool WriteRipLog(const std::string& folder, const std::string& text, std::string& path, std::string& error) {
    std::string leaf = folder;
    while (leaf.size() > 1 && leaf.back() == '/') leaf.pop_back();
    leaf = leaf.substr(leaf.rfind('/') + 1);
    // Every run keeps its own log: the first is "<name>.log", later ones
    // "<name> (2).log", "<name> (3).log"...; none is ever replaced.
    for (int run = 1; run <= MAX_LOGS_PER_FOLDER; ++run) {
        path = folder + "/" + leaf + (run == 1 ? std::string() : " (" + std::to_string(run) + ")") + ".log";
        errno = 0;
        const CreateOutcome outcome = CreateFileAtomically(path, text);
        if (outcome == CreateOutcome::Written) return true;
        if (outcome == CreateOutcome::Failed) {
            error = "cannot write '" + path + "': " + std::strerror(errno != 0 ? errno : EIO);
            return false;
        }
    }
    error = "the folder '" + folder + "' already holds " + std::to_string(MAX_LOGS_PER_FOLDER) + " logs";
    return false;
}

}  // namespace cadrix
