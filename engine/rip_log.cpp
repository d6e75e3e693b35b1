#include "rip_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "extract_worker.h"
#include "name_source.h"
#include "output_format.h"
#include "settings.h"

namespace cadrix {

namespace {

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

// The output's file name as the sink names it.
std::string FileName(const std::string& base, int32_t format) {
    const std::string leaf = base.substr(base.rfind('/') + 1);
    const OutputFormatInfo* info = FindOutputFormat(format);
    if (info == nullptr || !info->IsPlugin()) return leaf + ".wav";
    const std::string name = info->cliName;
    return leaf + "." + name.substr(0, name.find('-'));
}

std::string ReadText(const TrackVerification& track) {
    switch (track.way) {
        case ReadWay::Burst:
            return "burst (full speed), proven by AccurateRip";
        case ReadWay::BurstThenSecure:
            return "burst (CRC32 " + Hex8(track.burstCrc32) + "), not proven, then secure (CRC32 " +
                   Hex8(track.crc32) + "): the two reads " + (track.burstCrc32 == track.crc32 ? "agree" : "differ");
        case ReadWay::Secure:
            break;
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

void AppendTrack(std::string& log, const OutputSession& session, const ExtractionRun& run, int32_t t) {
    const TrackVerification& track = session.verifier.Track(t);
    log += "\nTrack " + std::to_string(t) + "\n";
    if (track.aborted && !track.read) {
        const int64_t sectors = static_cast<int64_t>(track.samples / AR_SAMPLES_PER_SECTOR);
        log += "  File: " + FileName(track.file, session.Format()) + "\n";
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
    const int64_t sectors = static_cast<int64_t>(track.samples / AR_SAMPLES_PER_SECTOR);
    log += "  File: " + FileName(track.file, session.Format()) + "\n";
    log += "  Length: " + Duration(sectors) + " (" + std::to_string(sectors) + " sectors)\n";
    log += "  Read: " + ReadText(track) + "\n";
    log += "  CRC32: " + Hex8(track.crc32) + "\n";
    log += "  AccurateRip v1: " + Hex8(track.v1) + ", v2: " + Hex8(track.v2) + "\n";
    log += "  Result: " + VerdictText(track, session.verifier) + "\n";
    if (session.takeReadStats != nullptr) {
        log += "  Reading: " + StatsText(session.readStats[static_cast<size_t>(t) % TRACK_SLOTS]) + "\n";
    }
    if (run.FailedTrack() == t && !run.FailureReason().empty()) log += "  Failed: " + run.FailureReason() + "\n";
}

}  // namespace

std::string VerdictText(const TrackVerification& track, const RunVerifier& verifier) {
    switch (track.ar.verdict) {
        case ArVerdict::Accurate:
            return "accurate (confidence " + std::to_string(track.ar.confidence) + ")";
        case ArVerdict::NotAccurate:
            return "not accurate";
        case ArVerdict::NotInDatabase:
            return "disc not in AccurateRip";
        case ArVerdict::TrackNotInDatabase:
            return "track not in AccurateRip";
        case ArVerdict::NotLookedUp:
            break;
    }
    return "not verified (" + LookupText(verifier) + ")";
}

std::string ArResultText(const TrackVerification& track, const RunVerifier& verifier) {
    const bool v1 = track.ar.verdict == ArVerdict::Accurate && !track.ar.v2;
    return std::string("AccurateRip ") + (v1 ? "v1 " + Hex8(track.v1) : "v2 " + Hex8(track.v2)) + ", " +
           VerdictText(track, verifier);
}

RunTally TallyRun(const OutputSession& session) {
    RunTally tally;
    const DriveRecord& disc = session.Drive();
    for (int32_t t = 1; t <= disc.trackCount && t < TRACK_SLOTS; ++t) {
        if (disc.tracks[static_cast<size_t>(t)].selected == 0) continue;
        ++tally.tracks;
        const TrackVerification& track = session.verifier.Track(t);
        if (!track.read) continue;
        if (track.ar.verdict == ArVerdict::Accurate) ++tally.accurate;
        if (track.ar.verdict == ArVerdict::NotAccurate) tally.notAccurate.push_back(t);
    }
    return tally;
}

std::string SummaryText(const RunTally& tally) {
    if (tally.tracks > 0 && tally.accurate == tally.tracks) return "All tracks accurately ripped";
    return std::to_string(tally.tracks - tally.accurate) + " of " + std::to_string(tally.tracks) +
           (tally.tracks == 1 ? " track" : " tracks") + " could not be verified";
}

std::string NotAccurateMessage(const RunTally& tally, const std::string& logPath, const std::string& logError) {
    const size_t count = tally.notAccurate.size();
    std::string tracks;
    for (size_t k = 0; k < count; ++k) {
        tracks += (k == 0 ? "" : k + 1 == count ? " and " : ", ") + std::to_string(tally.notAccurate[k]);
    }
    std::string text = count == 1 ? "Track " + tracks + " was not ripped accurately: AccurateRip knows other checksums for it."
                                  : "Tracks " + tracks +
                                        " were not ripped accurately: AccurateRip knows other checksums for them.";
    return text + "\n\n" + (logPath.empty() ? "No log could be written: " + logError : "See the log: " + logPath);
}

std::string RipLogText(const OutputSession& session, const ExtractionRun& run) {
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
    log += LookupText(verifier) + "\n";
    const OutputFormatInfo* format = FindOutputFormat(session.Format());
    log += std::string("Format: ") + (format != nullptr ? format->listText : "?") + "\n";
    for (int32_t t = 1; t <= disc.trackCount && t < TRACK_SLOTS; ++t) {
        if (disc.tracks[static_cast<size_t>(t)].selected != 0) AppendTrack(log, session, run, t);
    }
    if (run.State() == RunState::Aborted) log += "\nThe run was aborted.\n";
    else if (run.State() == RunState::Failed) log += "\nThe run failed.\n";
    log += "\n" + SummaryText(TallyRun(session)) + "\n";
    return log;
}

bool WriteRipLog(const std::string& folder, const std::string& text, std::string& path, std::string& error) {
    std::string leaf = folder;
    while (leaf.size() > 1 && leaf.back() == '/') leaf.pop_back();
    leaf = leaf.substr(leaf.rfind('/') + 1);
    path = folder + "/" + leaf + ".log";
    if (ReplaceFileAtomically(path, text, 0644)) return true;
    error = "cannot write '" + path + "': " + std::strerror(errno != 0 ? errno : EIO);
    return false;
}

}  // namespace cadrix
