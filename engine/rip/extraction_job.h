// ExtractionJob: one extraction run as a front-end sees it. DriveSet hands
// it out for one drive; it keeps that drive's record still while the run
// lasts, owns the OutputSession (bound to the drive's read function) and the
// ExtractionRun that drives it, and knows the disc's output folder. A
// front-end drives Run() (see extraction_run.h) and then calls End(), or
// just lets the job go.
#pragma once

#include <memory>
#include <string>

#include "output/output_format.h"
#include "rip/extraction_run.h"
#include "rip/output_session.h"

namespace cadrix {

class DriveSet;

struct JobRequest {
    std::string baseFolder;
    int32_t format = FORMAT_PCM;
    int32_t qualityPosition = 0;   // the format's slider position
    void* pluginModule = nullptr;  // the format's loaded module; kept loaded by the caller
    WorkerStarter startWorker = &StartWorker;
    // Ask AccurateRip about the disc (and the drive's offset) to prove the
    // rip and read at full speed what it proves; false reads securely and
    // proves nothing.
    bool verifyOnline = false;
    std::string settingsPath;  // where drives' read offsets are kept; empty: none
};

class ExtractionJob {
public:
    ExtractionJob(const ExtractionJob&) = delete;
    ExtractionJob& operator=(const ExtractionJob&) = delete;
    // Ends the run if End() was not called.
    ~ExtractionJob();

    // A job for `drive` of `drives`, ready to Begin; null, with the reason in
    // `error`, when the session cannot be set up (nothing is extracted then).
    static std::unique_ptr<ExtractionJob> Start(DriveSet& drives, int drive, const JobRequest& request,
                                                std::string& error);

    ExtractionRun& Run() { return *run_; }
    OutputSession& Session() { return *session_; }
    // The disc's folder under the base folder (empty when its path is too
    // long); the tracks' files go there.
    std::string DiscFolder();

    // Once the run is over: the log of what it proved, written into the
    // disc's folder; false (with the reason) when it could not be written
    // or no track was started. `path` is where it went.
    bool WriteLog(std::string& path, std::string& error);

    // Once a complete run has ripped every audio track of the disc (and its
    // hidden track one audio): the cue sheet beside the files
    // (output/cue_sheet.h), replacing an earlier rip's. False when there is
    // none: `error` says why, or is empty when the run did not rip the whole
    // disc. Call before WriteLog, whose text names the sheet.
    bool WriteCueSheet(std::string& path, std::string& error);

    // Waits for the worker, frees the session and gives the drive back: the
    // drive is looked at again and a disc change seen during the run is
    // applied now (a disc changed mid-run must be read anew before it can be
    // extracted). True when that re-read the record of the drive whose tab
    // is shown, so its list must be refilled. Once only.
    bool End();

    struct Token {  // only Start makes jobs
    private:
        Token() = default;
        friend class ExtractionJob;
    };
    ExtractionJob(Token, DriveSet& drives);

private:
    DriveSet& drives_;
    bool ended_ = false;
    std::unique_ptr<OutputSession> session_;
    std::unique_ptr<ExtractionRun> run_;
    std::string cueSheetPath_;  // the sheet WriteCueSheet wrote; empty: none
};

}  // namespace cadrix
