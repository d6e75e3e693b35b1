// The extraction worker: one thread per track reads the track in blocks of
// 27 frames and hands every block to the session's output; plus the rules
// the run logic applies between tracks (next track, totals, judging).
#pragma once

#include <cstdint>

#include "rip/output_session.h"

namespace cadrix {

constexpr int READ_ATTEMPTS = 3;
constexpr int32_t READ_SUCCESS = 1;
constexpr int WORKER_NICE_INCREMENT = 5;  // how far below the process the worker runs

// Extracts session.currentTrack (trackStart, trackFrames) and clears
// `running` as its very last access to the session. Always returns 0.
uint32_t ExtractThreadProc(OutputSession& session);

// Starts ExtractThreadProc on a new std::thread kept in
// session.workerThread (joining the previous, finished one first); the
// thread lowers its own priority. The caller sets `running` to 1 before.
// False when no thread could be created.
bool StartWorker(OutputSession& session);

// Moves the session to the next selected track after currentTrack; false
// (session unchanged) when there is none.
bool SelectNextTrack(OutputSession& session);

struct RunTotals {
    uint32_t totalBytes = 0;      // bytes of all selected tracks (mod 2^32)
    int32_t lastTrackIsData = 0;  // the disc's last track is a data track
};
RunTotals ComputeRunTotals(const OutputSession& session);

enum class TrackVerdict {
    Continue,  // no track yet, or the track was delivered in full
    ShortFailed,
};
// Judges the track the last worker extracted (call only while no worker runs).
// A track's frames are its audio as the library reads it (audioSpans), so
// the audio before a data track is whole or the track failed like any other.
TrackVerdict JudgeFinishedTrack(const OutputSession& session);

// Frame range of track `track` (1..99) from the drive's TOC.
int32_t TrackStartFrame(const DriveRecord& drive, int32_t track);
int32_t TrackFrameCount(const DriveRecord& drive, int32_t track);

}  // namespace cadrix
