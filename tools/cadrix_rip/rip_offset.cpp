#include "rip_offset.h"

#include <chrono>
#include <cstdio>
#include <future>
#include <thread>

#include "rip/offset_finder.h"
#include "settings/settings.h"
#include "verify/track_verifier.h"

#include "rip_exit.h"

namespace cadrix::rip {

int FindOffset(DriveSet& drives, const RipOptions& options, const volatile std::sig_atomic_t& interrupted) {
    const int drive = options.drive - 1;
    if (drive >= drives.driveCount) {
        std::fprintf(stderr, "cadrix-rip: there is no drive %d (%d found)\n", options.drive, drives.driveCount);
        return EXIT_USAGE;
    }
    const HCDROM handle = drives.drives[static_cast<size_t>(drive)].handle;
    const DriveFacts facts = QueryDriveFacts(drives.akrip.GetDriveInfo, handle);
    // The search reads a track or more; an interrupt cancels it.
    std::atomic<bool> cancel{false};
    auto search = std::async(std::launch::async, [&] {
        return FindReadOffset(drives, drive, VerifySettings::FromEnvironment(true), &cancel);
    });
    while (search.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
        if (interrupted != 0) cancel.store(true);
    }
    const OffsetSearch found = search.get();
    if (interrupted != 0) return EXIT_ABORTED;
    if (!found.found) {
        std::fprintf(stderr, "cadrix-rip: drive %d: no read offset found: %s\n", options.drive, found.reason.c_str());
        return EXIT_FAILED;
    }
    std::printf("Read offset: %s%d\n", found.offset > 0 ? "+" : "", found.offset);
    std::printf("Found with track %d (AccurateRip confidence %u)\n", found.track, found.confidence);
    if (facts.isVirtual) {
        std::printf("Drive %d reads a disc image, which needs no offset; nothing kept\n", options.drive);
        return EXIT_COMPLETE;
    }
    const std::string path = SettingsFilePath();
    if (!facts.known || !SaveDriveReadOffset(path, facts.Key(), found.offset)) {
        std::fprintf(stderr, "cadrix-rip: the offset could not be kept for drive %d%s\n", options.drive,
                     facts.known ? (" in " + path).c_str() : " (it does not say what it is)");
        return EXIT_FAILED;
    }
    std::printf("Kept for %s in %s\n", facts.Key().c_str(), path.c_str());
    return EXIT_COMPLETE;
}

}  // namespace cadrix::rip
