// DiscNamer: names the discs of a front-end's drives online while it runs.
// After a drive's record is read, Consider() starts a lookup on a worker
// thread when no database file names the disc; Poll(), on the front-end's
// own thread, saves what a finished lookup found into Cadrix's own disc
// folder and reads the drive's names again from there, so the list, caption,
// file names and tags come from the one usual path; the TOC and the user's
// selection stay. A disc is looked up once per program run, whatever the
// answer.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "disc/disc_model.h"
#include "names/disc_lookup.h"

namespace cadrix {

class DriveSet;

class DiscNamer {
public:
    // Picks one of several releases found for the disc in `drive` (the
    // index), -1 for none, or CHOOSE_LATER to be asked again at a later Poll
    // (when it cannot ask now).
    using Chooser = std::function<int(int drive, const std::vector<ReleaseCandidate>& releases)>;
    static constexpr int CHOOSE_LATER = -2;

    DiscNamer(DriveSet& drives, LookupSettings settings);
    ~DiscNamer();  // cancels running lookups
    DiscNamer(const DiscNamer&) = delete;
    DiscNamer& operator=(const DiscNamer&) = delete;

    // The record of `drive` was read: a lookup for another disc stops, and
    // one starts when this disc needs a name and was not looked up yet.
    void Consider(int drive);
    void ConsiderAll();
    // Handles the finished lookups of drives no run is extracting from.
    // Returns the drives whose names were read again.
    std::vector<int> Poll(const Chooser& choose);
    bool Running(int drive) const;

private:
    struct Slot {
        std::unique_ptr<DiscLookup> lookup;
        uint32_t triedId = 0;  // the disc last looked up; not asked again
    };
    enum class Applied { Nothing, Named, Later };
    Applied Apply(int drive, const DiscLookup& done, const Chooser& choose);

    DriveSet& drives_;
    LookupSettings settings_;
    std::array<Slot, MAX_DRIVES> slots_;
};

}  // namespace cadrix
