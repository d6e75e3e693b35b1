#include "rip/extract_worker.h"

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

int32_t LastTrack(const DriveRecord& drive) { return std::min<int32_t>(drive.toc.lastTrack, TRACK_SLOTS - 1); }

}  // namespace

int32_t TrackStartFrame(const DriveRecord& drive, int32_t track) {
    return static_cast<int32_t>(TocAddress(drive.toc.entries[track - 1]));
}

int32_t TrackFrameCount(const DriveRecord& drive, int32_t track) {
    return static_cast<int32_t>(TocAddress(drive.toc.entries[track]) - TocAddress(drive.toc.entries[track - 1]));
}

namespace {

// Reads the block at `frame` into the session's buffer: up to READ_ATTEMPTS
// calls, until one succeeds. A "successful" read that advanced no frame, or
// more than a block holds, would stall or derail the track and counts as a
// failure.
bool ReadBlock(OutputSession& session, HCDROM handle, uint32_t frame, int32_t blockFrames) {
    ReadBuffer* main = session.readBuffer;
    for (int attempt = 0; attempt < READ_ATTEMPTS; ++attempt) {
        if (attempt > 0 && session.abortRequested.load(std::memory_order_relaxed) != 0) break;
        main->frameCount = static_cast<uint32_t>(blockFrames);
        main->startFrame = frame;
        if (session.readAudio != nullptr && session.readAudio(handle, main, &session.overlapBuffer) == READ_SUCCESS &&
            main->frameCount >= 1 && main->frameCount <= static_cast<uint32_t>(BLOCK_FRAMES)) {
            return true;
        }
    }
    return false;
}

// How a read of the track ended.
struct PassEnd {
    bool aborted = false;
    bool readFailed = false;
    uint32_t failedFirst = 0;  // the block that could not be read
    uint32_t failedLast = 0;
};

// One read of the whole track into a freshly opened output; the sums of
// what the output received are in session.trackSums afterwards.
PassEnd ReadPass(OutputSession& session, HCDROM handle) {
    PassEnd end;
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
        if (!ReadBlock(session, handle, nextFrame, blockFrames)) {
            end.readFailed = session.abortRequested.load(std::memory_order_relaxed) == 0;
            end.failedFirst = nextFrame;
            end.failedLast = nextFrame + static_cast<uint32_t>(blockFrames) - 1;
            break;
        }
        if (!session.WriteBlock()) break;
        const auto frames = static_cast<int32_t>(session.readBuffer->frameCount);
        session.framesDone.fetch_add(frames, std::memory_order_relaxed);
        nextFrame += static_cast<uint32_t>(frames);
        framesLeft -= frames;
    }
    end.aborted = session.abortRequested.load(std::memory_order_relaxed) != 0;
    session.trackSums.Finish();
    return end;
}

// The end of the stretch of selected tracks that follow each other on the
// disc from the current track on: the reads go on in order up to there.
int32_t ReadAheadEnd(const OutputSession& session) {
    const DriveRecord& drive = session.Drive();
    const int32_t last = LastTrack(drive);
    int32_t t = session.currentTrack;
    while (t < last && drive.tracks[static_cast<size_t>(t + 1)].selected != 0 &&
           session.audioSpans[static_cast<size_t>(t + 1)].first == session.audioSpans[static_cast<size_t>(t)].end) {
        ++t;
    }
    return session.audioSpans[static_cast<size_t>(t)].end;
}

// The track's reads: one at full speed when AccurateRip may prove it, and a
// secure one when it does not (the file is written anew).
PassEnd ExtractTrack(OutputSession& session, HCDROM handle) {
    const int32_t track = session.currentTrack;
    bool burst = false;
    if (!session.verifier.BeginTrack(track, session.abortRequested, burst) || !session.OpenTrack()) return {};
    if (session.setReadAhead != nullptr) session.setReadAhead(handle, ReadAheadEnd(session));
    PassEnd end;
    while (true) {
        end = ReadPass(session, handle);
        const TrackChecksum& sums = session.trackSums;
        // An aborted read proves nothing and is not read again.
        if (end.aborted) {
            session.verifier.AbortPass(track, burst, sums.samples);
            break;
        }
        session.peaks[static_cast<size_t>(track) % TRACK_SLOTS] = sums.peak;
        if (session.verifier.EndPass(track, burst, sums.crc32, sums.v1, sums.v2, sums.samples)) break;
        // Read again securely, into a new file; the total counts on from
        // where the first read got to.
        session.CloseTrack();
        session.firstReadBytes = session.trackBytesWritten.load(std::memory_order_relaxed);
        session.framesDone.store(0, std::memory_order_relaxed);
        session.secondRead.store(1, std::memory_order_relaxed);
        burst = false;
        if (!session.OpenTrack()) return {};
    }
    session.CloseTrack();
    if (!end.aborted && !end.readFailed && session.framesDone.load(std::memory_order_relaxed) >= session.trackFrames) {
        session.TagLoudness();
    }
    return end;
}

// Why a block could not be read, as the library's counts tell it.
std::string ReadFailureReason(const AkripReadStats& stats, const PassEnd& end) {
    if (stats.failure == AKRIP_FAILURE_NO_DISC) {
        return "the disc was taken out or changed, or the drive is not ready";
    }
    // Secure reading names the sector that could not be verified; it may lie a
    // little past the block it held up.
    if (stats.unreadableCount > 0) {
        const std::string sector = std::to_string(stats.unreadable[0]);
        return "cannot read sector " + sector + " of the disc (sectors " + std::to_string(end.failedFirst) + "-" +
               std::to_string(end.failedLast) + " wait for it)";
    }
    return "cannot read sectors " + std::to_string(end.failedFirst) + "-" + std::to_string(end.failedLast) +
           " of the disc";
}

}  // namespace

uint32_t ExtractThreadProc(OutputSession& session) {
    session.framesDone.store(0, std::memory_order_relaxed);
    session.secondRead.store(0, std::memory_order_relaxed);
    if (session.readBuffer != nullptr) {
        // The overlap header's status word is the library's across the run.
        session.overlapBuffer.startFrame = 0;
        session.overlapBuffer.frameCount = 0;
        session.overlapBuffer.validBytes = 0;
        const HCDROM handle = session.Drive().handle;
        // A stop asked of the library for an earlier run ends here; this run's
        // own stop is seen through abortRequested.
        if (session.setReadAbort != nullptr && session.abortRequested.load(std::memory_order_relaxed) == 0) {
            session.setReadAbort(handle, 0);
        }
        AkripReadStats& stats = session.readStats[static_cast<size_t>(session.currentTrack) % TRACK_SLOTS];
        if (session.takeReadStats != nullptr) session.takeReadStats(handle, &stats);  // counts start here
        const PassEnd end = ExtractTrack(session, handle);
        if (session.takeReadStats != nullptr) session.takeReadStats(handle, &stats);
        if (end.readFailed) session.RecordFailure(ReadFailureReason(stats, end));
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
    // The hidden track one audio comes first, when the disc has it.
    const int32_t first = !session.trackChosen && drive.layout.HasHiddenTrack() ? 0 : session.currentTrack + 1;
    for (int32_t n = first; n <= last; ++n) {
        const bool empty = n == 0 && session.audioSpans[0].Frames() == 0;
        if (drive.tracks[static_cast<size_t>(n)].selected == 0 || empty) continue;
        session.currentTrack = n;
        session.trackChosen = true;
        session.trackStart = session.audioSpans[static_cast<size_t>(n)].first;
        session.trackFrames = session.audioSpans[static_cast<size_t>(n)].Frames();
        session.trackBytesExpected = static_cast<uint32_t>(session.trackFrames) * cd::kFrameBytes;
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
    for (int32_t n = drive.layout.HasHiddenTrack() ? 0 : 1; n <= last; ++n) {
        if (drive.tracks[static_cast<size_t>(n)].selected == 0) continue;
        frames += static_cast<uint32_t>(session.audioSpans[static_cast<size_t>(n)].Frames());
    }
    totals.totalBytes = frames * cd::kFrameBytes;
    totals.lastTrackIsData = last > 0 ? drive.tracks[static_cast<size_t>(last)].isData : 0;
    return totals;
}

TrackVerdict JudgeFinishedTrack(const OutputSession& session) {
    const auto done = static_cast<uint32_t>(session.framesDone.load(std::memory_order_relaxed));
    if (!session.trackChosen || done >= static_cast<uint32_t>(session.trackFrames)) {
        return TrackVerdict::Continue;
    }
    return TrackVerdict::ShortFailed;
}

}  // namespace cadrix
