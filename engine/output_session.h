// OutputSession: the state of one extraction run, shared by the front-end
// that starts the run, the run logic (ExtractionRun) and the worker thread.
//
// How a front-end uses it:
//   1. DriveSet::BeginExtraction(drive), so that a disc change does not
//      rewrite the record the worker reads.
//   2. Construct, Init(base folder, drives, drive, plug-in module, format,
//      quality code); on false show nothing and stop. Then set `readAudio`
//      to the bound ReadCDAudioLBAEx (AkripEntryPoints::ReadCDAudioLBAEx).
//   3. Drive an ExtractionRun over it (extraction_run.h).
//   4. Destroy it. Destruction waits for a worker that may still run (after
//      telling it to stop), so it is always safe, but may block until the
//      worker's read in progress returns.
//   5. DriveSet::EndExtraction(), which applies a deferred disc change.
//
// Paths: '/' stands for the separator; the 244- and 256-byte limits count
// bytes. Folders are tested with stat() and created one level with mkdir();
// the process's current directory is never changed.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "akrip_extras.h"
#include "akrip_records.h"
#include "cadrix_plugin.h"
#include "disc_model.h"

namespace cadrix {

// CD audio geometry used by the reader and the writers.
constexpr uint32_t FRAME_BYTES = 2352;
constexpr int32_t BLOCK_FRAMES = 27;
constexpr int32_t OVERLAP_FRAMES = 3;
constexpr uint32_t READ_CAPACITY = BLOCK_FRAMES * FRAME_BYTES;       // 63,504
constexpr uint32_t OVERLAP_CAPACITY = OVERLAP_FRAMES * FRAME_BYTES;  // 7,056

// Path limits, in bytes.
constexpr size_t MAX_FOLDER_PATH = 244;
constexpr size_t MAX_FILE_PATH = 256;

// OutputTrackInfo as the session keeps it: the record, then two words of 0.
struct SessionTrackInfo {
    OutputTrackInfo info{};
    uint32_t reserved[2] = {0, 0};
};

class OutputSession {
public:
    OutputSession() = default;
    OutputSession(const OutputSession&) = delete;
    OutputSession& operator=(const OutputSession&) = delete;
    // Tells a running worker to stop and waits for it; frees the buffers.
    // Closes no output, frees no module, does not touch `drives`.
    virtual ~OutputSession();

    // Binds the session to a run. False (and nothing changed) on an empty
    // base path or null drive array; false on a failed buffer allocation or,
    // for a format other than FORMAT_PCM, when `pluginModule` is null or lacks
    // one of OpenOutput / CloseOutput / WriteOutput (looked up on every call).
    // `pluginModule` is a dlopen handle owned by the caller, kept loaded for
    // the session's life.
    bool Init(std::string basePath, DriveRecord* drives, int32_t driveIndex,
              void* pluginModule, int32_t format, int32_t qualityCode);
    bool AllocateBuffers();
    // Replaces control bytes, bytes >= 0x80 and \ / | : * ? " < > by '_'.
    static void SanitizeName(std::string& text);

    // Worker-thread operations on the track named by currentTrack.
    bool OpenTrack();
    bool WriteBlock();
    bool CloseTrack();  // always true
    bool WriteWaveHeader(uint32_t dataSize);

    // The folder and file path OpenTrack uses for `currentTrack`, without
    // extension, or false when the folder path exceeds MAX_FOLDER_PATH.
    // Creates nothing.
    bool BuildTrackPaths(std::string& folderPath, std::string& filePath);

    // Set by Init.
    int32_t format = 0;
    int32_t qualityCode = 0;
    int32_t driveIndex = 0;
    ReadBuffer* readBuffer = nullptr;     // owned: header + READ_CAPACITY bytes
    ReadBuffer* overlapBuffer = nullptr;  // owned: header + OVERLAP_CAPACITY bytes
    DriveRecord* drives = nullptr;        // not owned
    ReadCDAudioLBAExProc readAudio = nullptr;  // set by the front-end after Init
    // Optional, set by the front-end after Init when the library has them:
    // stopping a read in progress, and what the reads of a track had to fix.
    AkripSetReadAbortProc setReadAbort = nullptr;
    AkripTakeReadStatsProc takeReadStats = nullptr;
    // What each track's reads had to fix, by track number; the worker writes
    // its track's slot before it clears `running`.
    std::array<AkripReadStats, TRACK_SLOTS> readStats{};

    // Tells the library to end a read in progress on the session's drive
    // (when it can); the worker clears that again when it starts.
    void AbortReads();

    // Written by the run logic while no worker runs (SelectNextTrack).
    int32_t currentTrack = 0;
    int32_t trackStart = 0;
    int32_t trackFrames = 0;
    uint32_t trackBytesExpected = 0;

    // Shared between the worker and the run logic. `running` is written with
    // release and read with acquire; it orders everything else.
    std::atomic<int32_t> framesDone{0};
    std::atomic<uint32_t> trackBytesWritten{0};
    std::atomic<uint32_t> totalBytesWritten{0};
    std::atomic<int32_t> running{0};
    std::atomic<int32_t> abortRequested{0};

    void* pluginModule = nullptr;  // not owned
    std::FILE* waveFile = nullptr;  // owned while a WAVE track is open
    int32_t outputOpen = 0;
    std::string basePath;  // ends in '/' after Init
    std::string artistName;
    std::string discName;
    std::string trackArtistName;
    std::string trackName;
    SessionTrackInfo trackInfo;
    OpenOutputProc openOutput = nullptr;
    CloseOutputProc closeOutput = nullptr;
    WriteOutputProc writeOutput = nullptr;

    // The worker thread last started (StartWorker, extract_worker.h); joined
    // before the next start and by the destructor.
    std::thread workerThread;

private:
    std::unique_ptr<uint32_t[]> readStorage_;
    std::unique_ptr<uint32_t[]> overlapStorage_;
};

}  // namespace cadrix
