#include "extract_worker.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <system_error>

namespace cadrix {

namespace {

// The worker runs below the process's other threads: a higher nice value
// for this thread alone (Linux applies PRIO_PROCESS with a tid per thread).
void LowerOwnPriority() {
    const pid_t self = gettid();
    errno = 0;
    int current = getpriority(PRIO_PROCESS, static_cast<id_t>(self));
    if (current == -1 && errno != 0) current = 0;
    setpriority(PRIO_PROCESS, static_cast<id_t>(self), std::min(current + WORKER_NICE_INCREMENT, 19));
}

int32_t LastTrack(const DriveRecord& drive) {
    return std::min<int32_t>(drive.toc.lastTrack, TRACK_SLOTS - 1);
}

}  // namespace

int32_t TrackStartFrame(const DriveRecord& drive, int32_t track) {
    return static_cast<int32_t>(TocAddress(drive.toc.entries[track - 1]));
}

int32_t TrackFrameCount(const DriveRecord& drive, int32_t track) {
    return static_cast<int32_t>(TocAddress(drive.toc.entries[track]) -
                                TocAddress(drive.toc.entries[track - 1]));
}

namespace {

// Reads the block at `frame` into the session's buffer: up to READ_ATTEMPTS
// calls, until one succeeds. A "successful" read that advanced no frame, or
// more than a block holds, would stall or derail the track and counts as a
// failure.
bool ReadBlock(OutputSession& session, HCDROM handle, uint32_t frame, int32_t blockFrames) {
    ReadBuffer* main = session.readBuffer;
    for (int attempt = 0; attempt < READ_ATTEMPTS; ++attempt) {
        main->frameCount = static_cast<uint32_t>(blockFrames);
        main->startFrame = frame;
        if (session.readAudio != nullptr && session.readAudio(handle, main, &session.overlapBuffer) == READ_SUCCESS &&
            main->frameCount >= 1 && main->frameCount <= static_cast<uint32_t>(BLOCK_FRAMES)) {
            return true;
        }
    }
    session.RecordFailure("cannot read sectors " + std::to_string(frame) + "-" +
                          std::to_string(frame + static_cast<uint32_t>(blockFrames) - 1) + " of the disc");
    return false;
}

}  // namespace

namespace {

// One read of the whole track into a freshly opened output; the sums of
// what the output received are in session.trackSums afterwards.
void ReadPass(OutputSession& session, HCDROM handle) {
    auto nextFrame = static_cast<uint32_t>(session.trackStart);
    int32_t framesLeft = session.trackFrames;
    int32_t blockFrames = BLOCK_FRAMES;
    session.framesDone.store(0, std::memory_order_relaxed);
    session.readBuffer->validBytes = 0;
    const int32_t track = session.currentTrack;
    session.trackSums.Begin(session.verifier.IsFirstAudio(track), session.verifier.IsLastAudio(track));
    while (framesLeft > 0) {
        if (session.abortRequested.load(std::memory_order_relaxed) != 0) break;
        if (framesLeft < blockFrames) blockFrames = framesLeft;
        if (!ReadBlock(session, handle, nextFrame, blockFrames)) break;
        if (!session.WriteBlock()) break;
        const auto frames = static_cast<int32_t>(session.readBuffer->frameCount);
        session.framesDone.fetch_add(frames, std::memory_order_relaxed);
        nextFrame += static_cast<uint32_t>(frames);
        framesLeft -= frames;
    }
    session.trackSums.Finish();
}

// The track's reads: one at full speed when AccurateRip may prove it, and a
// secure one when it does not (the file is written anew).
void ExtractTrack(OutputSession& session, HCDROM handle) {
    const int32_t track = session.currentTrack;
    bool burst = false;
    if (!session.verifier.BeginTrack(track, session.abortRequested, burst) || !session.OpenTrack()) return;
    while (true) {
        ReadPass(session, handle);
        // An aborted read proves nothing and is not read again.
        if (session.abortRequested.load(std::memory_order_relaxed) != 0) break;
        const TrackChecksum& sums = session.trackSums;
        if (session.verifier.EndPass(track, burst, sums.crc32, sums.v1, sums.v2, sums.samples)) break;
        // Read again securely: the first read's progress is taken back.
        session.CloseTrack();
        session.totalBytesWritten.fetch_sub(session.trackBytesWritten.load(std::memory_order_relaxed),
                                            std::memory_order_relaxed);
        session.framesDone.store(0, std::memory_order_relaxed);
        burst = false;
        if (!session.OpenTrack()) return;
    }
    session.CloseTrack();
}

}  // namespace

uint32_t ExtractThreadProc(OutputSession& session) {
    session.framesDone.store(0, std::memory_order_relaxed);
    if (session.readBuffer != nullptr) {
        // The overlap header's status word is the library's across the run.
        session.overlapBuffer.startFrame = 0;
        session.overlapBuffer.frameCount = 0;
        session.overlapBuffer.validBytes = 0;
        const HCDROM handle = session.Drive().handle;
        // A stop asked of the library for an earlier run ends here; this run's
        // own stop is seen through abortRequested.
        if (session.setReadAbort != nullptr) session.setReadAbort(handle, 0);
        AkripReadStats& stats = session.readStats[static_cast<size_t>(session.currentTrack) % TRACK_SLOTS];
        if (session.takeReadStats != nullptr) session.takeReadStats(handle, &stats);  // counts start here
        ExtractTrack(session, handle);
        if (session.takeReadStats != nullptr) session.takeReadStats(handle, &stats);
    }
    // Last access to the session: publishes the counters written above.
    session.running.store(0, std::memory_order_release);
    return 0;
}

bool StartWorker(OutputSession& session) {
    // The previous worker has cleared `running`; all it has left is to return.
    if (session.workerThread.joinable()) session.workerThread.join();
    try {
        session.workerThread = std::thread([&session] {
            LowerOwnPriority();
            ExtractThreadProc(session);
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

bool SelectNextTrack(OutputSession& session) {
    const DriveRecord& drive = session.Drive();
    const int32_t last = LastTrack(drive);
    for (int32_t n = session.currentTrack + 1; n <= last; ++n) {
        if (drive.tracks[static_cast<size_t>(n)].selected == 0) continue;
        session.currentTrack = n;
        session.trackStart = TrackStartFrame(drive, n);
        session.trackFrames = TrackFrameCount(drive, n);
        session.trackBytesExpected = static_cast<uint32_t>(session.trackFrames) * FRAME_BYTES;
        session.trackBytesWritten.store(0, std::memory_order_relaxed);
        return true;
    }
    return false;
}

RunTotals ComputeRunTotals(const OutputSession& session) {
    RunTotals totals;
    const DriveRecord& drive = session.Drive();
    const int32_t last = LastTrack(drive);
    uint32_t frames = 0;
    for (int32_t n = 1; n <= last; ++n) {
        if (drive.tracks[static_cast<size_t>(n)].selected == 0) continue;
        frames += TocAddress(drive.toc.entries[n]) - TocAddress(drive.toc.entries[n - 1]);
    }
    totals.totalBytes = frames * FRAME_BYTES;
    totals.lastTrackIsData = last > 0 ? drive.tracks[static_cast<size_t>(last)].isData : 0;
    return totals;
}

TrackVerdict JudgeFinishedTrack(const OutputSession& session, const RunTotals& totals) {
    const auto done = static_cast<uint32_t>(session.framesDone.load(std::memory_order_relaxed));
    if (session.currentTrack == 0 || done >= static_cast<uint32_t>(session.trackFrames)) {
        return TrackVerdict::Continue;
    }
    const int32_t last = LastTrack(session.Drive());
    if (totals.lastTrackIsData != 0 && session.currentTrack == last - 1) {
        return TrackVerdict::ShortComplete;
    }
    return TrackVerdict::ShortFailed;
}

}  // namespace cadrix
