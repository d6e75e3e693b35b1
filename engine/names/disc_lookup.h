// Looking up the names of a disc that no database file names: the sources
// in order, synchronously or on a worker thread of its own, and saving the
// chosen release into Cadrix's own disc folder, from where ReadDisc reads it.
//
// A front-end with an event loop:
//   1. after ReadDisc, if NeedsLookup(record, dataDir, ownDiscDir), create a
//      DiscLookup(MakeDiscQuery(record), settings, done) and keep it;
//   2. poll Finished() on a timer, or let `done` post an event to the UI
//      thread (it runs on the worker thread);
//   3. on Found: one release is saved with SaveRelease at once; for several
//      the chooser shows DescribeRelease (or the fields of each candidate)
//      and saves the one picked; then ReadDisc the drive again;
//   4. destroying the DiscLookup (a disc change, closing) cancels it.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

#include "disc/disc_model.h"
#include "names/name_source.h"
#include "names/own_disc_folder.h"

namespace cadrix {

struct LookupSettings {
    bool enabled = true;                       // false: no source that needs the network is asked
    std::chrono::milliseconds timeout{10000};  // of the whole lookup, every source included
    // Base URLs, as FromEnvironment() sets them; an empty one makes its
    // source fail with a reason naming the variable.
    std::string musicBrainzServer;
    std::string gnudbServer;
    std::string coverArtServer;  // CADRIX_COVERART_SERVER

    // The servers from CADRIX_MUSICBRAINZ_SERVER, CADRIX_GNUDB_SERVER and
    // CADRIX_COVERART_SERVER
    // ("http://host:port"), the public services when they are unset.
    static LookupSettings FromEnvironment(bool enabled = true);
};

// True when `record` holds a disc with an audio track and neither the
// suite's folder nor Cadrix's own folder has a file for its disc id. False
// without an own folder: found names could not be kept.
bool NeedsLookup(const DriveRecord& record, std::string_view suiteFolder, std::string_view ownFolder);

// Asks the sources in order until one finds names: CD-Text's place is first
// (still to come), then MusicBrainz, then gnudb. Not found or failed, the
// reason names each source's answer ("MusicBrainz: ...; gnudb: ..."); the
// status is Failed when a source failed. Releases found online with a
// MusicBrainz id get their front cover from the Cover Art Archive (the first
// few, each within a time-out of its own). Returns by the time-outs, or soon
// after `cancel` becomes true.
LookupReply LookUpDiscNames(const DiscQuery& disc, const LookupSettings& settings,
                            const std::atomic<bool>* cancel = nullptr);

// Saves `release` as the file of `disc` in Cadrix's own folder (see
// SaveDiscFile: never over an existing file, never into the suite's folder),
// and its cover, when it has one, beside it (OwnCoverPath).
SaveOutcome SaveRelease(const ReleaseCandidate& release, const DiscQuery& disc, std::string_view ownFolder,
                        std::string_view suiteFolder, std::string& path);

// One lookup on its own thread.
class DiscLookup {
public:
    using Done = std::function<void()>;

    // Starts at once. `done`, when given, runs once on the worker thread
    // after the result is ready; it must not destroy this object.
    DiscLookup(DiscQuery disc, LookupSettings settings, Done done = {});
    // Cancels and waits for the worker, which ends within about 0.1 s.
    ~DiscLookup();
    DiscLookup(const DiscLookup&) = delete;
    DiscLookup& operator=(const DiscLookup&) = delete;

    // True once Result() is ready (acquire).
    bool Finished() const { return finished_.load(std::memory_order_acquire); }
    // Only after Finished() returned true.
    const LookupReply& Result() const { return result_; }
    const DiscQuery& Disc() const { return disc_; }
    // Asks the worker to stop; the result then says "cancelled".
    void Cancel() { cancel_.store(true, std::memory_order_release); }

private:
    void Run();

    const DiscQuery disc_;
    const LookupSettings settings_;
    const Done done_;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> finished_{false};
    LookupReply result_;
    std::thread worker_;  // last: starts once everything above is set
};

}  // namespace cadrix
