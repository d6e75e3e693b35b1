#include "rip_lookup.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "names/disc_database.h"
#include "names/disc_lookup.h"
#include "util/utf8_text.h"

#include "rip_exit.h"

namespace cadrix::rip {

namespace {

// The same lookup the dialog runs, waited for here; an interrupt cancels it.
LookupReply WaitForLookup(const DiscQuery& disc, bool online, const volatile std::sig_atomic_t& interrupted) {
    DiscLookup lookup(disc, LookupSettings::FromEnvironment(online));
    while (!lookup.Finished()) {
        if (interrupted != 0) lookup.Cancel();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return lookup.Result();
}

// With --lookup-only: the file that already names the disc.
void SayAlreadyNamed(const DriveSet& drives, int number, uint32_t discId) {
    if (HasDiscFile(drives.dataDir, discId)) {
        std::printf("Drive %d: named by the suite's disc database (%s); nothing looked up\n", number,
                    DiscDatabasePath(drives.dataDir, discId).c_str());
    } else {
        std::printf("Drive %d: named by %s; delete it to look the disc up again\n", number,
                    DiscDatabasePath(drives.ownDiscDir, discId).c_str());
    }
}

// With --lookup-only: the names as the disc now shows them.
void ShowNames(const DriveRecord& record) {
    const TrackListing listing = FillTrackList(record);
    std::printf("  Disc: %s\n", TerminalText(listing.caption).c_str());
    for (const TrackRow& row : listing.rows) {
        std::printf("  %s\t%s\n", row.number.c_str(), TerminalText(row.title).c_str());
    }
}

// Saves the chosen release; false (after saying why) when nothing was saved.
bool Save(const DriveSet& drives, const ReleaseCandidate& release, const DiscQuery& disc, int number, FILE* out) {
    std::string path;
    switch (SaveRelease(release, disc, drives.ownDiscDir, drives.dataDir, path)) {
        case SaveOutcome::Written: std::fprintf(out, "Drive %d: saved %s\n", number, path.c_str()); return true;
        case SaveOutcome::AlreadyThere:
            std::fprintf(stderr, "cadrix-rip: drive %d: %s appeared meanwhile and is kept\n", number, path.c_str());
            return true;
        case SaveOutcome::SuiteFolder:
            std::fprintf(stderr,
                         "cadrix-rip: drive %d: Cadrix's disc folder is the suite's database folder; "
                         "nothing saved\n",
                         number);
            return false;
        case SaveOutcome::Failed: break;
    }
    std::fprintf(stderr, "cadrix-rip: drive %d: cannot write %s\n", number, path.c_str());
    return false;
}

int NameDisc(DriveSet& drives, int drive, const RipOptions& options, bool online,
             const volatile std::sig_atomic_t& interrupted) {
    const int number = drive + 1;
    const int notNamed = options.lookupOnly ? EXIT_FAILED : EXIT_COMPLETE;
    FILE* out = options.lookupOnly ? stdout : stderr;
    DriveRecord& record = drives.drives[static_cast<size_t>(drive)];
    DiscQuery disc = MakeDiscQuery(record);
    if (disc.AudioTrackCount() == 0) {
        if (options.lookupOnly) std::fprintf(stderr, "cadrix-rip: drive %d holds no audio disc\n", number);
        return notNamed;
    }
    if (HasDiscFile(drives.dataDir, disc.discId) || HasDiscFile(drives.ownDiscDir, disc.discId)) {
        if (options.lookupOnly) SayAlreadyNamed(drives, number, disc.discId);
        return EXIT_COMPLETE;
    }
    if (drives.ownDiscDir.empty()) {
        // Found names could not be kept, so nothing is looked up.
        std::fprintf(stderr,
                     "cadrix-rip: drive %d: not looked up: Cadrix has no disc folder to keep names in "
                     "(neither $XDG_DATA_HOME nor $HOME is an absolute path)\n",
                     number);
        return notNamed;
    }
    disc.cdText = drives.ReadCdText(drive);
    // Offline, only the disc's own CD-Text can name it; nothing to say else.
    if (!online && disc.cdText.empty()) return EXIT_COMPLETE;
    const LookupReply reply = WaitForLookup(disc, online, interrupted);
    if (interrupted != 0) return EXIT_ABORTED;
    if (reply.status != LookupStatus::Found) {
        std::fprintf(stderr, "cadrix-rip: drive %d: no names found: %s\n", number, TerminalText(reply.reason).c_str());
        return notNamed;
    }
    std::fprintf(out, "Drive %d: %s\n", number, TerminalText(reply.reason).c_str());
    for (size_t k = 0; k < reply.releases.size(); ++k) {
        const bool chosen = k + 1 == static_cast<size_t>(options.release);
        std::fprintf(out, "  %s --release %zu: %s\n", chosen ? "*" : " ", k + 1,
                     TerminalText(DescribeRelease(reply.releases[k])).c_str());
    }
    if (static_cast<size_t>(options.release) > reply.releases.size()) {
        std::fprintf(stderr, "cadrix-rip: drive %d: there is no release %d\n", number, options.release);
        return EXIT_FAILED;
    }
    if (!Save(drives, reply.releases[static_cast<size_t>(options.release - 1)], disc, number, out)) return notNamed;
    drives.ReadDisc(drive);
    if (options.lookupOnly) ShowNames(record);
    return EXIT_COMPLETE;
}

}  // namespace

int NameDiscs(DriveSet& drives, const RipOptions& options, bool online, const volatile std::sig_atomic_t& interrupted) {
    int first = 0;
    int last = drives.driveCount - 1;
    if (!options.list) {
        first = last = options.drive - 1;
        // Extraction reports a missing drive itself.
        if (first >= drives.driveCount && options.lookupOnly) {
            std::fprintf(stderr, "cadrix-rip: there is no drive %d (%d found)\n", options.drive, drives.driveCount);
            return EXIT_USAGE;
        }
    }
    for (int drive = first; drive <= last && drive < drives.driveCount; ++drive) {
        const int status = NameDisc(drives, drive, options, online, interrupted);
        if (status != EXIT_COMPLETE) return status;
    }
    return EXIT_COMPLETE;
}

}  // namespace cadrix::rip
