#include "rip/extraction_run.h"

#include <thread>

#include "output/output_format.h"

namespace cadrix {

ExtractionRun::ExtractionRun(OutputSession& session, WorkerStarter startWorker)
    : session_(session), startWorker_(startWorker != nullptr ? startWorker : &StartWorker) {}

void ExtractionRun::Begin(int32_t barRange, bool timerStarted) {
    barRange_ = barRange > 0 ? barRange : 0;
    InitProgressRanges();
    if (timerStarted) {
        status_ = STATUS_INITIALISING;
        button_ = BUTTON_ABORT;
        state_ = RunState::Initialising;
    } else {
        status_ = STATUS_NO_TIMER;
        button_ = BUTTON_CLOSE;
        state_ = RunState::NotStarted;
    }
    UpdateProgress();
}

void ExtractionRun::InitProgressRanges() {
    trackPosition_ = 0;
    totalPosition_ = 0;
    totals_ = ComputeRunTotals(session_);
}

PollOutcome ExtractionRun::PollWorker() {
    PollOutcome outcome;
    if (state_ == RunState::Initialising || state_ == RunState::Extracting) {
        if (session_.running.load(std::memory_order_acquire) == 0) {
            switch (JudgeFinishedTrack(session_)) {
                case TrackVerdict::ShortFailed:
                    Fail();
                    outcome = {PollEvent::Failed, session_.abortRequested.load() == 0};
                    break;
                case TrackVerdict::Continue:
                    if (!SelectNextTrack(session_)) {
                        Complete();
                        outcome = {PollEvent::Completed, true};
                        break;
                    }
                    status_ = IsCompressing() ? STATUS_COMPRESSING : STATUS_EXTRACTING;
                    status_ += std::to_string(session_.currentTrack) + "...";
                    session_.running.store(1, std::memory_order_release);
                    if (!startWorker_(session_)) {
                        session_.running.store(0, std::memory_order_release);
                        session_.RecordFailure("the extraction thread could not be started");
                        Fail();
                        outcome = {PollEvent::Failed, session_.abortRequested.load() == 0};
                        break;
                    }
                    state_ = RunState::Extracting;
                    outcome.event = PollEvent::TrackStarted;
                    break;
            }
        }
    } else if (state_ == RunState::Aborting) {
        if (session_.running.load(std::memory_order_acquire) == 0) {
            state_ = RunState::Aborted;
            outcome.event = PollEvent::Aborted;
        }
    }
    UpdateProgress();
    return outcome;
}

void ExtractionRun::UpdateProgress() {
    // A track read a second time shows that phase; its bar starts again.
    if (state_ == RunState::Extracting && session_.secondRead.load(std::memory_order_relaxed) != 0) {
        status_ = STATUS_REREADING + std::to_string(session_.currentTrack) + STATUS_REREADING_END;
    }
    trackPosition_ = BarPosition(session_.trackBytesWritten.load(std::memory_order_relaxed),
                                 session_.trackBytesExpected, barRange_);
    totalPosition_ = BarPosition(session_.totalBytesWritten.load(std::memory_order_relaxed), totals_.totalBytes,
                                 barRange_);
}

uint32_t ExtractionRun::BarPosition(uint32_t done, uint32_t expected, int32_t barRange) {
    const uint32_t scaledExpected = expected >> 8;
    if (scaledExpected == 0) return 0;
    return (done >> 8) * static_cast<uint32_t>(barRange) / scaledExpected;
}

void ExtractionRun::RequestAbort(bool showText) {
    if (state_ == RunState::Aborting) {
        if (showText) status_ = STATUS_ABORTING;
        return;
    }
    if (state_ != RunState::Initialising && state_ != RunState::Extracting) return;
    session_.abortRequested.store(1, std::memory_order_relaxed);
    session_.AbortReads();
    if (session_.running.load(std::memory_order_acquire) != 0) {
        state_ = RunState::Aborting;
        if (showText) status_ = STATUS_ABORTING;
    } else {
        state_ = RunState::Aborted;
    }
}

bool ExtractionRun::WaitForWorker(int waits, std::chrono::milliseconds step) {
    if (session_.running.load(std::memory_order_acquire) != 0) {
        session_.abortRequested.store(1, std::memory_order_relaxed);
        session_.AbortReads();
        if (state_ == RunState::Initialising || state_ == RunState::Extracting) {
            state_ = RunState::Aborting;
        }
        for (int i = 0; i < waits; ++i) {
            std::this_thread::sleep_for(step);
            if (session_.running.load(std::memory_order_acquire) == 0) break;
        }
    }
    const bool ended = session_.running.load(std::memory_order_acquire) == 0;
    if (ended && state_ == RunState::Aborting) state_ = RunState::Aborted;
    return ended;
}

bool ExtractionRun::TimerWanted() const {
    return state_ == RunState::Initialising || state_ == RunState::Extracting || state_ == RunState::Aborting;
}

bool ExtractionRun::Finished() const {
    return state_ == RunState::NotStarted || state_ == RunState::Complete || state_ == RunState::Failed ||
           state_ == RunState::Aborted;
}

bool ExtractionRun::IsCompressing() const {
    const OutputFormatInfo* info = FindOutputFormat(session_.Format());
    return info != nullptr && info->IsPlugin();
}

void ExtractionRun::Fail() {
    failedTrack_ = session_.currentTrack;
    failureReason_ = session_.LastError();
    if (failureReason_.empty()) {
        failureReason_ = session_.abortRequested.load(std::memory_order_relaxed) != 0
                             ? std::string("aborted")
                             : "only " + std::to_string(session_.framesDone.load(std::memory_order_relaxed)) + " of " +
                                   std::to_string(session_.trackFrames) + " sectors were read";
    }
    button_ = BUTTON_CLOSE;
    status_ = STATUS_FAILED;
    session_.trackBytesWritten.store(session_.trackBytesExpected, std::memory_order_relaxed);
    session_.totalBytesWritten.store(totals_.totalBytes, std::memory_order_relaxed);
    state_ = RunState::Failed;
}

void ExtractionRun::Complete() {
    button_ = BUTTON_CLOSE;
    status_ = STATUS_COMPLETED;
    state_ = RunState::Complete;
}

}  // namespace cadrix
