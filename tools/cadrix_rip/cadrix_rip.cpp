// cadrix-rip: the headless front-end. Lists the drives and their discs, or
// extracts tracks of one disc through the same engine objects as the dialog.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "disc/disc_model.h"
#include "disc/drive_set.h"
#include "names/disc_lookup.h"
#include "names/drive_names.h"
#include "names/musicbrainz_lookup.h"
#include "names/name_source.h"
#include "output/output_format.h"
#include "output/output_sink.h"
#include "rip/extract_worker.h"
#include "rip/extraction_job.h"
#include "rip/extraction_run.h"
#include "rip/rip_log.h"
#include "rip_lookup.h"
#include "rip_offset.h"
#include "rip_options.h"
#include "settings/settings.h"
#include "util/utf8_text.h"

namespace {

using namespace cadrix;

constexpr int EXIT_COMPLETE = 0;
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_ABORTED = 130;

volatile std::sig_atomic_t gInterrupted = 0;
// Set while an extraction runs: a signal then stops the run the orderly way.
// Before (drives being opened, a disc being read) nothing is written yet,
// and the program ends at once, however long a call would block.
volatile std::sig_atomic_t gExtracting = 0;

void OnInterrupt(int) {
    if (gExtracting == 0) _exit(EXIT_ABORTED);
    gInterrupted = 1;
}

void InstallSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = &OnInterrupt;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a call that blocks is interrupted rather than resumed.
    action.sa_flags = 0;
    // Ctrl-C, kill and a closed terminal all stop the run the same way, so
    // the current file is finished properly; a closed output pipe only
    // makes the progress lines fail; a file-size limit fails the write like
    // a full disk instead of killing the program mid-file.
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
}

// Workers are started with those signals blocked, so only this thread
// sees them and a read or write in progress is never interrupted.
bool StartWorkerWithoutSignals(OutputSession& session) {
    sigset_t block;
    sigset_t previous;
    sigemptyset(&block);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&block, sig);
    pthread_sigmask(SIG_BLOCK, &block, &previous);
    const bool started = StartWorker(session);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return started;
}

int Usage(const std::string& error) {
    std::fprintf(stderr, "cadrix-rip: %s\n%s", error.c_str(), rip::UsageText().c_str());
    return EXIT_USAGE;
}

bool OpenDrives(DriveSet& drives) {
    if (!drives.InitAKRip()) {
        std::fprintf(stderr, "cadrix-rip: Could not initialize AKRip library.\n");
        return false;
    }
    ReadDataDir(drives);
    for (int k = 0; k < drives.driveCount; ++k) drives.ReadDisc(k);
    return true;
}

// What the disc keeps beyond its TOC: where its layout was read, the
// catalog number, the hidden audio, and per track its index points (LSNs),
// pregap, ISRC and pre-emphasis.
void ListLayout(const DiscLayout& layout) {
    std::printf("  Layout: %s\n", LayoutSourceText(layout.source));
    if (!layout.mcn.empty()) std::printf("  MCN: %s\n", layout.mcn.c_str());
    const int32_t hidden = layout.HiddenFrames();
    switch (layout.hidden) {
        case HiddenAudio::Present:
            std::printf("  Hidden track one audio: %d frames (%s) before track 1, track 0\n", hidden,
                        CueTime(hidden).c_str());
            break;
        case HiddenAudio::Silent:
            std::printf("  Before track 1: %s of silence (a pregap, not ripped)\n", CueTime(hidden).c_str());
            break;
        case HiddenAudio::Unreadable:
            std::printf("  Before track 1: %s the drive cannot read\n", CueTime(hidden).c_str());
            break;
        case HiddenAudio::None: break;
    }
    for (size_t k = 0; k < layout.tracks.size(); ++k) {
        const TrackLayout& track = layout.tracks[k];
        if (track.IsData()) continue;
        std::string line = "  Track " + std::to_string(k + 1) + ":";
        if (track.index0 != track.index1) line += " INDEX 00 " + std::to_string(track.index0) + ",";
        line += " INDEX 01 " + std::to_string(track.index1);
        for (size_t i = 0; i < track.indexes.size(); ++i) {
            line += ", INDEX " + std::string(i < 8 ? "0" : "") + std::to_string(i + 2) + " " +
                    std::to_string(track.indexes[i]);
        }
        line += "; pregap " + CueTime(track.PregapFrames());
        if (!track.isrc.empty()) line += "; ISRC " + track.isrc;
        if (track.PreEmphasis()) line += "; pre-emphasis";
        std::printf("%s\n", line.c_str());
    }
}

// A disc that no source names can be added to MusicBrainz, so the next
// person's lookup finds it.
void PrintSubmissionLink(const DriveRecord& record) {
    if (!record.discTitle.empty() || !record.discArtist.empty()) return;
    const std::string url = MusicBrainzSubmissionUrl(MakeDiscQuery(record),
                                                     LookupSettings::FromEnvironment().musicBrainzServer);
    if (!url.empty()) std::printf("  Add this disc to MusicBrainz: %s\n", url.c_str());
}

int List(DriveSet& drives) {
    for (int k = 0; k < drives.driveCount; ++k) {
        const TrackListing listing = FillTrackList(drives.drives[static_cast<size_t>(k)]);
        std::printf("Drive %d: %s\n", k + 1, TerminalText(drives.drives[static_cast<size_t>(k)].name).c_str());
        // The dialog leaves an empty drive's caption blank; a listing says so.
        const bool empty = listing.caption.empty() && listing.rows.empty();
        std::printf("  Disc: %s\n", empty ? "(no disc)" : TerminalText(listing.caption).c_str());
        for (const TrackRow& row : listing.rows) {
            std::printf("  %s\t%s\t%s\n", row.number.c_str(), TerminalText(row.title).c_str(), row.duration.c_str());
        }
        if (!empty) {
            ListLayout(drives.drives[static_cast<size_t>(k)].layout);
            PrintSubmissionLink(drives.drives[static_cast<size_t>(k)]);
        }
    }
    return EXIT_COMPLETE;
}

// The progress line of the track being extracted, redrawn in place on a
// terminal ("Extracting Track 3...  45% (total 12%)"); elsewhere one plain
// line per track.
class ProgressLine {
public:
    explicit ProgressLine(bool tty) : tty_(tty) {}

    // A new track started, so the previous one was delivered in full.
    void TrackStarted(const ExtractionRun& run) {
        if (open_) {
            Draw(100, run.TotalPosition());
            std::printf("\n");
        }
        text_ = run.StatusText();
        open_ = tty_;
        if (open_) {
            Draw(0, run.TotalPosition());
        } else {
            std::printf("%s\n", text_.c_str());
        }
    }
    void Update(const ExtractionRun& run) {
        if (open_) Draw(run.TrackPosition(), run.TotalPosition());
    }
    // Ends the open line; drawn full when the whole run was delivered.
    void Finish(bool complete) {
        if (!open_) return;
        if (complete) Draw(100, 100);
        std::printf("\n");
        open_ = false;
    }

private:
    void Draw(uint32_t track, uint32_t total) {
        // A drive that hands back more frames than asked can push the byte
        // counts past the track's size; a bar stops at its end, so does this.
        std::printf("\r%s %3u%% (total %3u%%)", text_.c_str(), std::min(track, 100u), std::min(total, 100u));
        std::fflush(stdout);
    }

    bool tty_;
    bool open_ = false;
    std::string text_;
};

// What reading a finished track cost, when the library counts it: sectors
// read again, and the sectors that could not be read at all; then what
// AccurateRip says of it.
void PrintReadStats(const OutputSession& session, int32_t track) {
    if (track < 0) return;
    if (session.verifier.Track(track).read) {
        std::printf("Track %d: %s\n", track, ArResultText(session.verifier.Track(track), session.verifier).c_str());
    }
    if (session.takeReadStats == nullptr) return;
    const AkripReadStats& stats = session.readStats[static_cast<size_t>(track) % TRACK_SLOTS];
    std::printf("Track %d: %u sectors re-read, %u corrections\n", track, stats.sectorsReread, stats.corrections);
    if (stats.unreadableCount == 0) return;
    std::printf("Track %d: %u unreadable sectors:", track, stats.unreadableCount);
    for (uint32_t k = 0; k < stats.unreadableCount && k < AKRIP_STATS_UNREADABLE_SLOTS; ++k) {
        std::printf(" %u", stats.unreadable[k]);
    }
    std::printf("%s\n", stats.unreadableCount > AKRIP_STATS_UNREADABLE_SLOTS ? " ..." : "");
}

// Marks the tracks to extract in the disc's record; false (with a usage
// error in `error`) when the list names a track that is not audio.
bool SelectTracks(DriveRecord& disc, const rip::RipOptions& options, int& selected, std::string& error) {
    selected = 0;
    // Track 0: the hidden track one audio, when the disc has some.
    for (int t = disc.layout.HasHiddenTrack() ? 0 : 1; t <= disc.trackCount && t < TRACK_SLOTS; ++t) {
        TrackRecord& track = disc.tracks[static_cast<size_t>(t)];
        const bool wanted = options.tracksGiven ? options.tracks.test(static_cast<size_t>(t)) : true;
        track.selected = wanted && track.isData == 0 ? 1 : 0;
        selected += track.selected;
    }
    if (!options.tracksGiven) return true;
    for (int t = 0; t < TRACK_SLOTS; ++t) {
        if (!options.tracks.test(static_cast<size_t>(t))) continue;
        if (t == 0 && !disc.layout.HasHiddenTrack()) {
            error = "the disc has no hidden track one audio (track 0)";
            return false;
        }
        if (t > disc.trackCount || (t > 0 && disc.tracks[static_cast<size_t>(t)].isData != 0)) {
            error = "track " + std::to_string(t) + " is not an audio track of the disc";
            return false;
        }
    }
    return true;
}

// Polls the run to its end, drawing the progress line; the last poll event.
PollEvent DriveRun(ExtractionRun& run) {
    PollEvent ending = PollEvent::None;
    run.Begin(100);  // bar positions in percent
    ProgressLine line(isatty(STDOUT_FILENO) != 0);
    int32_t reportedTrack = -1;  // none yet; 0 is the hidden track one audio
    while (!run.Finished()) {
        if (gInterrupted != 0 && run.State() != RunState::Aborting) run.RequestAbort(true);
        const PollOutcome outcome = run.PollWorker();
        switch (outcome.event) {
            case PollEvent::TrackStarted:
                line.TrackStarted(run);
                PrintReadStats(run.Session(), reportedTrack);
                reportedTrack = run.Session().currentTrack;
                break;
            case PollEvent::None: line.Update(run); break;
            default:  // the run ended; only a complete one shows full bars
                line.Finish(outcome.event == PollEvent::Completed);
                break;
        }
        if (outcome.event != PollEvent::None) ending = outcome.event;
        if (!run.Finished()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // An abort between two tracks ends the run without a poll event.
    line.Finish(false);
    PrintReadStats(run.Session(), reportedTrack);
    return ending;
}

// The log in the disc's folder and the summary of what was proven.
void FinishLog(ExtractionJob& job) {
    if (!job.Session().trackChosen) return;
    std::printf("%s\n", SummaryText(TallyRun(job.Session())).c_str());
    // The sheet is written first, so the log names it; it is shown after.
    std::string cuePath;
    std::string cueError;
    const bool cue = job.WriteCueSheet(cuePath, cueError);
    std::string path;
    std::string error;
    if (job.WriteLog(path, error)) {
        std::printf("Log: %s\n", path.c_str());
    } else {
        std::fprintf(stderr, "cadrix-rip: no log: %s\n", error.c_str());
    }
    if (cue) {
        std::printf("Cue sheet: %s\n", cuePath.c_str());
    } else if (!cueError.empty()) {
        std::fprintf(stderr, "cadrix-rip: no cue sheet: %s\n", cueError.c_str());
    }
}

int Extract(DriveSet& drives, const rip::RipOptions& options, bool verify) {
    const int drive = options.drive - 1;
    if (drive >= drives.driveCount) {
        return Usage("there is no drive " + std::to_string(options.drive) + " (" + std::to_string(drives.driveCount) +
                     " found)");
    }
    int selected = 0;
    std::string error;
    if (!SelectTracks(drives.drives[static_cast<size_t>(drive)], options, selected, error)) return Usage(error);
    if (selected == 0) {
        std::fprintf(stderr, "cadrix-rip: the disc in drive %d has no audio track\n", options.drive);
        return EXIT_FAILED;
    }
    const OutputFormatInfo& format = *FindOutputFormat(options.format);
    ModuleHandle plugin = LoadPluginModule(options.format);
    if (format.IsPlugin() && !plugin) {
        return Usage(std::string("the plug-in ") + format.moduleFile + " of this format could not be loaded");
    }

    JobRequest request{options.output, options.format,    options.quality, plugin.get(), &StartWorkerWithoutSignals,
                       verify,         SettingsFilePath()};
    auto job = ExtractionJob::Start(drives, drive, request, error);
    if (!job) {
        std::fprintf(stderr, "cadrix-rip: %s\n", error.c_str());
        return format.IsPlugin() ? EXIT_USAGE : EXIT_FAILED;
    }
    gExtracting = 1;
    const PollEvent ending = DriveRun(job->Run());
    const ExtractionRun& run = job->Run();
    if (run.State() != RunState::Aborted) std::printf("%s\n", run.StatusText().c_str());
    if (run.State() == RunState::Failed && run.FailedTrack() != 0 && !run.FailureReason().empty()) {
        std::printf("Track %d: %s\n", run.FailedTrack(), TerminalText(run.FailureReason()).c_str());
    }
    const std::string folder = job->Session().trackChosen ? job->DiscFolder() : std::string();
    FinishLog(*job);
    job->End();  // waits for a worker still finishing its block
    if (!folder.empty()) std::printf("Output folder: %s\n", folder.c_str());
    switch (ending) {
        case PollEvent::Completed: return EXIT_COMPLETE;
        case PollEvent::Aborted: std::printf("Audio extraction aborted.\n"); return EXIT_ABORTED;
        default: return gInterrupted != 0 ? EXIT_ABORTED : EXIT_FAILED;
    }
}

}  // namespace

int main(int argc, char** argv) {
    // Scripts read the progress lines as they come.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::vector<std::string_view> args(argv + 1, argv + argc);
    rip::RipOptions options;
    std::string error;
    if (!rip::ParseRipOptions(args, options, error)) return Usage(error);
    if (options.help) {
        std::fputs(rip::UsageText().c_str(), stdout);
        return EXIT_COMPLETE;
    }
    InstallSignalHandlers();
    DriveSet drives;
    if (!OpenDrives(drives)) return EXIT_FAILED;
    // Discs that no database file names are named first: from their CD-Text,
    // and online unless --no-lookup or the settings say never (an explicit
    // --lookup-only or --release still asks).
    const bool settingsAllow = LoadSettingsFile(SettingsFilePath(), "").onlineLookup;
    const bool online = options.lookup && (settingsAllow || options.lookupOnly || options.releaseGiven);
    if (options.findOffset) {
        const int status = rip::FindOffset(drives, options, gInterrupted);
        drives.Release();
        return status;
    }
    int status = rip::NameDiscs(drives, options, online, gInterrupted);
    if (status == EXIT_COMPLETE && !options.lookupOnly) {
        // AccurateRip is asked unless --no-lookup or the settings say never.
        status = options.list ? List(drives) : Extract(drives, options, options.lookup && settingsAllow);
    }
    drives.Release();
    return status;
}
