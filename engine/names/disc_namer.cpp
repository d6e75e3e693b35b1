#include "names/disc_namer.h"

#include "disc/drive_set.h"

namespace cadrix {

DiscNamer::DiscNamer(DriveSet& drives, LookupSettings settings) : drives_(drives), settings_(std::move(settings)) {}

DiscNamer::~DiscNamer() = default;

void DiscNamer::Consider(int drive) {
    if (drive < 0 || drive >= drives_.driveCount) return;
    Slot& slot = slots_[static_cast<size_t>(drive)];
    const DriveRecord& record = drives_.drives[static_cast<size_t>(drive)];
    if (slot.lookup && slot.lookup->Disc().discId != record.discId) slot.lookup.reset();
    if (slot.lookup || record.discId == 0 || slot.triedId == record.discId) return;
    if (!NeedsLookup(record, drives_.dataDir, drives_.ownDiscDir)) return;
    DiscQuery query = MakeDiscQuery(record);
    query.cdText = drives_.ReadCdText(drive);
    // With online lookups off, only the disc's own CD-Text can name it.
    if (!settings_.enabled && query.cdText.empty()) return;
    slot.triedId = record.discId;
    slot.lookup = std::make_unique<DiscLookup>(std::move(query), settings_);
}

void DiscNamer::ConsiderAll() {
    for (int k = 0; k < drives_.driveCount; ++k) Consider(k);
}

bool DiscNamer::Running(int drive) const {
    if (drive < 0 || drive >= MAX_DRIVES) return false;
    const Slot& slot = slots_[static_cast<size_t>(drive)];
    return slot.lookup && !slot.lookup->Finished();
}

std::vector<int> DiscNamer::Poll(const Chooser& choose) {
    std::vector<int> reread;
    for (int k = 0; k < drives_.driveCount; ++k) {
        Slot& slot = slots_[static_cast<size_t>(k)];
        // The record of a drive being read from stays as it is until the run ends.
        if (!slot.lookup || !slot.lookup->Finished() || drives_.Extracting(k)) continue;
        // Taken out of the slot: a chooser's event loop may see the disc
        // change and start another lookup there meanwhile.
        std::unique_ptr<DiscLookup> done = std::move(slot.lookup);
        const Applied applied = Apply(k, *done, choose);
        if (applied == Applied::Named) reread.push_back(k);
        const bool sameDisc = drives_.drives[static_cast<size_t>(k)].discId == done->Disc().discId;
        if (applied == Applied::Later && sameDisc && !slot.lookup) slot.lookup = std::move(done);
    }
    return reread;
}

DiscNamer::Applied DiscNamer::Apply(int drive, const DiscLookup& done, const Chooser& choose) {
    const LookupReply& reply = done.Result();
    if (reply.status != LookupStatus::Found || reply.releases.empty()) return Applied::Nothing;
    const int pick = reply.releases.size() == 1 ? 0 : (choose ? choose(drive, reply.releases) : 0);
    if (pick == CHOOSE_LATER) return Applied::Later;
    if (pick < 0 || static_cast<size_t>(pick) >= reply.releases.size()) return Applied::Nothing;
    // The names are kept for the disc they were found for, and the drive is
    // read again only when that disc is still in it (a chooser may have been
    // open while the disc changed).
    std::string path;
    const SaveOutcome saved = SaveRelease(reply.releases[static_cast<size_t>(pick)], done.Disc(), drives_.ownDiscDir,
                                          drives_.dataDir, path);
    if (drives_.drives[static_cast<size_t>(drive)].discId != done.Disc().discId) return Applied::Nothing;
    if (saved != SaveOutcome::Written && saved != SaveOutcome::AlreadyThere) return Applied::Nothing;
    // Names change texts only: the user's check boxes stay as they are.
    drives_.RereadNames(drive);
    return Applied::Named;
}

}  // namespace cadrix
