// What a run proved, in words: the line per track that cadrix-rip prints,
// the summary, and the log written into the disc's folder
// ("<disc folder name>.log", one per run).
#pragma once

#include <string>
#include <vector>

#include "rip/extraction_run.h"
#include "rip/output_session.h"

namespace cadrix {

// "accurate (confidence 12)", "not accurate", "disc not in AccurateRip", or
// "not verified" (why is said once for the run: SummaryText and the log).
std::string VerdictText(const TrackVerification& track, const RunVerifier& verifier);
// "AccurateRip v2 1a2b3c4d, " and the verdict (v1 and its sum when only
// that matched).
std::string ArResultText(const TrackVerification& track, const RunVerifier& verifier);

// The selected tracks of the run and those AccurateRip proved.
struct RunTally {
    int32_t tracks = 0;
    int32_t accurate = 0;
    // Tracks AccurateRip knows other sums for, by how they were read: twice
    // with the same result, twice with different results, or once.
    std::vector<int32_t> notAccurate;
    std::vector<int32_t> readsAgree;
    std::vector<int32_t> readsDiffer;
    std::vector<int32_t> readOnce;
    // Said once for the whole run when AccurateRip could not judge any
    // track (its lookup off, the service unreachable); empty otherwise.
    std::string unverified;
};
RunTally TallyRun(const OutputSession& session);

// "All tracks accurately ripped", "3 of 12 tracks could not be verified", or
// tally.unverified ("AccurateRip could not be reached: the rip is not
// verified").
std::string SummaryText(const RunTally& tally);

// What the dialog tells after a run with tracks AccurateRip does not prove
// (tally.notAccurate not empty): what is known of each, and the log at
// `logPath` (or `logError` when it could not be written).
std::string NotAccurateMessage(const RunTally& tally, const std::string& logPath, const std::string& logError);

// The log's text for a run that has ended: program and version, drive, read
// offset and way of reading, the disc, and for each selected track its
// file, length, checksums, AccurateRip's verdict and what reading it cost;
// the summary last.
std::string RipLogText(const OutputSession& session, const ExtractionRun& run);

// Writes `text` as `folder`/<folder's own name>.log, whole or not at all, and
// never over an earlier run's log: when that name is taken, as
// "<name> (2).log", "<name> (3).log" and so on. False, with the reason in
// `error`, when it cannot; `path` is the log's path.
bool WriteRipLog(const std::string& folder, const std::string& text, std::string& path, std::string& error);

}  // namespace cadrix
