// ExtractionRun: the logic of one extraction run as the progress view drives
// it. The view only forwards its timer, button and window events here and
// renders what the run exposes (status text, button text, two bar positions).
//
// A view (the progress dialog, or cadrix-rip) drives the run of an
// ExtractionJob (extraction_job.h) like this:
//   - Opening: Begin(barRange, timerStarted), where barRange is the client
//     width in pixels of the total bar (any positive range for a text view)
//     and timerStarted says whether the 100 ms timer could be started. Render.
//   - Every 100 ms while TimerWanted(): PollWorker(), then render
//     StatusText(), ButtonText(), TrackPosition() and TotalPosition() (bars
//     range over 0..BarRange()). The outcome tells what to do besides:
//       TrackStarted  a worker now extracts session.currentTrack;
//       Completed     play the completion sound, then close the view at once;
//       Failed        play the sound when outcome.playSound, stop the timer,
//                     stay open until the user closes (button reads "Close");
//                     FailedTrack() and FailureReason() say which and why;
//       Aborted       the worker of an aborted run has ended; nothing to show.
//   - Button (or Enter): RequestAbort(true) (shows "Aborting audio
//     extraction..." when a worker runs), then close the view.
//     Esc / close box: RequestAbort(false), then close the view.
//   - Window destruction: WaitForWorker() blocks for at most ~1 s. The
//     job's End() waits for the rest.
//   A front-end without a window (cadrix-rip) may instead keep calling
//   PollWorker() after RequestAbort() until State() is Aborted.
//
// Every call runs on the view's thread; the worker only touches the session.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "rip/extract_worker.h"
#include "rip/output_session.h"

namespace cadrix {

// Status texts, exactly as the view shows them.
inline constexpr const char* STATUS_INITIALISING = "Initializing audio extraction...";
inline constexpr const char* STATUS_NO_TIMER = "Unable to initialize audio extraction.";
inline constexpr const char* STATUS_EXTRACTING = "Extracting Track ";
inline constexpr const char* STATUS_COMPRESSING = "Extracting & Compressing Track ";
inline constexpr const char* STATUS_FAILED = "Audio extraction failed.";
inline constexpr const char* STATUS_COMPLETED = "Audio extraction completed.";
inline constexpr const char* STATUS_ABORTING = "Aborting audio extraction...";
inline constexpr const char* STATUS_REREADING = "Reading Track ";  // + n + STATUS_REREADING_END
inline constexpr const char* STATUS_REREADING_END = " again, securely...";
inline constexpr const char* BUTTON_ABORT = "Abort";
inline constexpr const char* BUTTON_CLOSE = "Close";

enum class RunState {
    Created,       // Begin not called yet
    NotStarted,    // the timer could not be started: nothing is extracted
    Initialising,  // waiting for the first tick
    Extracting,    // a worker extracts session.currentTrack
    Aborting,      // abort requested, the worker has not ended yet
    Complete,
    Failed,
    Aborted,  // ended by the user; no worker runs any more
};

enum class PollEvent { None, TrackStarted, Completed, Failed, Aborted };

struct PollOutcome {
    PollEvent event = PollEvent::None;
    bool playSound = false;  // Completed always; Failed unless an abort was requested
};

// Starts ExtractThreadProc for the session's current track; true when a
// thread was started. Replaceable for tests.
using WorkerStarter = bool (*)(OutputSession& session);

class ExtractionRun {
public:
    explicit ExtractionRun(OutputSession& session, WorkerStarter startWorker = &StartWorker);
    ExtractionRun(const ExtractionRun&) = delete;
    ExtractionRun& operator=(const ExtractionRun&) = delete;

    // The view opened: stores the bar range, computes the run totals and
    // shows "Initializing audio extraction..." (or, when !timerStarted,
    // "Unable to initialize audio extraction." and nothing else happens).
    void Begin(int32_t barRange, bool timerStarted = true);
    // Computes totalBytes and lastTrackIsData (called by Begin).
    void InitProgressRanges();
    // One timer tick: judge, select, start a worker, fail or complete; then
    // UpdateProgress. Does nothing but UpdateProgress while a worker runs.
    PollOutcome PollWorker();
    // Bar positions from the session's byte counters: (done / 256) * range /
    // (expected / 256) in unsigned 32-bit arithmetic, 0 when expected / 256
    // is 0.
    void UpdateProgress();

    // Stops the run: when a worker runs it is told to stop (and, with
    // showText, the status reads "Aborting audio extraction..."); between
    // tracks the run ends at once. Nothing happens once the run has ended.
    void RequestAbort(bool showText);
    // Tells a running worker to stop and polls `running` up to `waits` times,
    // `step` apart; true when no worker runs any more.
    bool WaitForWorker(int waits = 10, std::chrono::milliseconds step = std::chrono::milliseconds(100));

    RunState State() const { return state_; }
    bool TimerWanted() const;  // Initialising, Extracting or Aborting
    bool Finished() const;     // NotStarted, Complete, Failed or Aborted
    const std::string& StatusText() const { return status_; }
    const char* ButtonText() const { return button_; }
    int32_t BarRange() const { return barRange_; }
    uint32_t TrackPosition() const { return trackPosition_; }
    uint32_t TotalPosition() const { return totalPosition_; }
    const RunTotals& Totals() const { return totals_; }
    OutputSession& Session() { return session_; }
    // The track that ended the run short, and why (empty when the run did
    // not fail, or failed before a track started).
    int32_t FailedTrack() const { return failedTrack_; }
    const std::string& FailureReason() const { return failureReason_; }

    // One bar position by the /256 rule above.
    static uint32_t BarPosition(uint32_t done, uint32_t expected, int32_t barRange);

private:
    bool IsCompressing() const;
    void Fail();
    void Complete();

    OutputSession& session_;
    WorkerStarter startWorker_;
    RunState state_ = RunState::Created;
    RunTotals totals_;
    int32_t barRange_ = 0;
    uint32_t trackPosition_ = 0;
    uint32_t totalPosition_ = 0;
    std::string status_ = "Status:";
    const char* button_ = BUTTON_CLOSE;
    int32_t failedTrack_ = 0;
    std::string failureReason_;
};

}  // namespace cadrix
