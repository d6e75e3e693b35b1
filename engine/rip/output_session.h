// OutputSession: the state of one extraction run, shared by the run logic
// (ExtractionRun, on the front-end's thread) and the worker thread. An
// ExtractionJob (extraction_job.h) creates, initialises and owns it; a
// front-end never wires it up itself.
//
// A track's bytes go: the worker reads a block into `readBuffer`, WriteBlock
// counts it and hands it to the sink chosen by Init (output_sink.h), which
// writes a WAVE file or passes it to an encoder plug-in.
//
// Paths: '/' stands for the separator; the 244- and 256-byte limits count
// bytes. Folders are tested with stat() and created one level with mkdir();
// the process's current directory is never changed.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "akrip_extras.h"
#include "akrip_records.h"
#include "cadrix_plugin.h"
#include "disc/disc_model.h"
#include "names/cover_art.h"
#include "names/name_limits.h"
#include "output/replay_gain.h"
#include "verify/accuraterip.h"
#include "verify/track_verifier.h"

namespace cadrix {

class OutputSink;

// CD audio geometry used by the reader and the writers.
constexpr int32_t BLOCK_FRAMES = 27;
constexpr uint32_t READ_CAPACITY = BLOCK_FRAMES * cd::kFrameBytes;  // 63,504

// OutputTrackInfo as the session keeps it: the record, then two words of 0.
struct SessionTrackInfo {
    OutputTrackInfo info{};
    uint32_t reserved[2] = {0, 0};
};

class OutputSession {
public:
    OutputSession();
    OutputSession(const OutputSession&) = delete;
    OutputSession& operator=(const OutputSession&) = delete;
    // Tells a running worker to stop and waits for it; frees the buffer and
    // the sink. Does not touch the drive record or unload a module.
    virtual ~OutputSession();

    // Binds the session to a run on `drive`: the base folder, the format and
    // its quality code, and for a plug-in format the loaded plug-in module
    // (owned by the caller, kept loaded for the session's life). False (with
    // a reason) on an empty base path, a failed buffer allocation, or when
    // the format needs a plug-in and `pluginModule` is null or lacks one of
    // OpenOutput / CloseOutput / WriteOutput.
    bool Init(std::string basePath, DriveRecord& drive, void* pluginModule, int32_t format, int32_t qualityCode);
    bool AllocateBuffers();
    // Replaces control bytes, bytes >= 0x80 and \ / | : * ? " < > by '_'.
    static void SanitizeName(std::string& text);

    // Worker-thread operations on the track named by currentTrack.
    bool OpenTrack();
    bool WriteBlock();
    bool CloseTrack();  // always true
    // After the last CloseTrack of a track read in full: its ReplayGain
    // values go into its file, and once the last track of a run over every
    // audio track of the disc is in, the album's go into every file.
    void TagLoudness();

    // The disc's folder under the base folder, or false when that path
    // exceeds MAX_FOLDER_PATH. Creates nothing.
    bool BuildFolderPath(std::string& folderPath);
    // The folder and file path OpenTrack uses for `currentTrack`, without
    // extension, or false when the folder path exceeds MAX_FOLDER_PATH.
    // Creates nothing.
    bool BuildTrackPaths(std::string& folderPath, std::string& filePath);

    int32_t Format() const { return format; }
    int32_t QualityCode() const { return qualityCode; }
    const DriveRecord& Drive() const { return *drive_; }

    // Why the last track failed ("cannot create '/x/03 - A.wav': Permission
    // denied"); empty when it did not. Written by the worker; read by the
    // run logic once `running` reads 0.
    const std::string& LastError() const { return lastError_; }
    // Records why the current track failed (the first reason of a track is
    // kept). Worker thread.
    void RecordFailure(std::string reason);

    // The read buffer: header + READ_CAPACITY bytes, owned. Filled by the
    // worker's reads.
    ReadBuffer* readBuffer = nullptr;
    // Passed as every read's overlap buffer: a header without a data area,
    // zeroed when the session is made, where the library keeps what it needs
    // across the run's reads (the disc the run started on).
    ReadBuffer overlapBuffer{};
    ReadCDAudioLBAExProc readAudio = nullptr;  // bound by the ExtractionJob
    // Optional, bound by the ExtractionJob when the library has them:
    // stopping a read in progress, and what the reads of a track had to fix.
    AkripSetReadAbortProc setReadAbort = nullptr;
    AkripTakeReadStatsProc takeReadStats = nullptr;
    // Tells the library how far the reads go on in order (the selected
    // tracks that follow each other), so it reads them as one stream.
    AkripSetReadAheadProc setReadAhead = nullptr;
    // Where each track's audio lies, by track number: from its INDEX 01 to
    // one past its last audio sector (AkripGetTrackRange, or the TOC). Set by
    // the ExtractionJob before the run.
    struct AudioSpan {
        int32_t first = 0;
        int32_t end = 0;
        int32_t Frames() const { return end > first ? end - first : 0; }
    };
    std::array<AudioSpan, TRACK_SLOTS> audioSpans{};
    // What each track's reads had to fix, by track number; the worker writes
    // its track's slot before it clears `running`.
    std::array<AkripReadStats, TRACK_SLOTS> readStats{};
    // The peak level of what each track's output received (TrackChecksum's
    // `peak`), by track number; written by the worker like readStats.
    std::array<uint32_t, TRACK_SLOTS> peaks{};

    // How the run's tracks are read and verified (track_verifier.h); bound
    // by the ExtractionJob.
    RunVerifier verifier;
    // The sums of what the current track's output received, fed by
    // WriteBlock; the worker begins and finishes them.
    TrackChecksum trackSums;

    // Tells the library to end a read in progress on the session's drive
    // (when it can); the worker clears that again when it starts.
    void AbortReads();

    // Written by the run logic while no worker runs (SelectNextTrack).
    // currentTrack 0 is the hidden track one audio once trackChosen is set;
    // before the first track it is 0 with trackChosen false.
    int32_t currentTrack = 0;
    bool trackChosen = false;
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
    // Set by the worker while it reads its track a second time (securely,
    // after a fast read AccurateRip did not prove); the total counts only
    // what goes beyond the first read's firstReadBytes, so it never goes back.
    std::atomic<int32_t> secondRead{0};
    uint32_t firstReadBytes = 0;  // worker only

    // The tags handed to a plug-in for the current track; texts point into
    // the drive record (the raw texts, not the file-name copies).
    SessionTrackInfo trackInfo;

    // The worker thread last started (StartWorker, extract_worker.h); joined
    // before the next start and by the destructor.
    std::thread workerThread;

private:
    void FillTrackInfo();
    OutputTrackExtras TrackExtras() const;
    void AddDiscCodes(const DriveRecord& disc, OutputTrackExtras& extras) const;
    // The MusicBrainz identifiers and the cover picture of the track.
    void AddLibraryExtras(OutputTrackExtras& extras) const;

    int32_t format = 0;
    int32_t qualityCode = 0;
    DriveRecord* drive_ = nullptr;  // not owned
    std::unique_ptr<OutputSink> sink_;
    int32_t outputOpen = 0;
    std::string basePath;  // ends in '/' after Init
    std::string artistName;
    std::string discName;
    std::string trackArtistName;
    std::string trackName;
    std::string lastError_;
    std::unique_ptr<uint32_t[]> readStorage_;
    TrackLoudness loudness_;                              // of the current track's output
    AlbumLoudness album_;                                 // of the tracks tagged so far in this run
    std::array<std::string, TRACK_SLOTS> taggedFiles_{};  // by track number
    std::string musicBrainzDiscId_;                       // of the run's disc
    // The disc's front cover, looked for once a run when the disc folder exists.
    void FindCover(const std::string& folderPath);
    bool coverLooked_ = false;
    std::optional<CoverImage> cover_;
};

}  // namespace cadrix
