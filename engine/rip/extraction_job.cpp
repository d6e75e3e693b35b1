#include "rip/extraction_job.h"

#include <cstdlib>

#include "disc/drive_set.h"
#include "output/cue_sheet.h"
#include "rip/rip_log.h"
#include "settings/settings.h"

namespace cadrix {

namespace {

// CADRIX_READ_OFFSET as a number within what drives have; none otherwise.
std::optional<int32_t> EnvironmentOffset() {
    const char* text = std::getenv("CADRIX_READ_OFFSET");
    if (text == nullptr || *text == '\0') return std::nullopt;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < -cd::kMaxReadOffset || value > cd::kMaxReadOffset) return std::nullopt;
    return static_cast<int32_t>(value);
}

// The offset that needs no lookup, in order: CADRIX_READ_OFFSET, the one kept
// in the settings file at `settingsPath`, 0 for an image. None when the
// drive's offset can only come from AccurateRip's list (or is unknown).
std::optional<std::pair<int32_t, OffsetSource>> FixedReadOffset(const DriveFacts& drive,
                                                                const std::string& settingsPath) {
    if (drive.isVirtual) return std::pair{0, OffsetSource::Image};
    if (const auto value = EnvironmentOffset()) return std::pair{*value, OffsetSource::Environment};
    if (const auto kept = LoadDriveReadOffset(settingsPath, drive.Key())) {
        return std::pair{*kept, OffsetSource::Settings};
    }
    return std::nullopt;
}

// The drive's facts and offset, and AccurateRip asked about the disc (and
// about the drive when its offset is not known otherwise) while the run
// starts.
void BindVerifier(DriveSet& drives, OutputSession& session, const JobRequest& request) {
    const DriveRecord& disc = session.Drive();
    DriveFacts facts = QueryDriveFacts(drives.akrip.GetDriveInfo, disc.handle);
    const auto fixed = FixedReadOffset(facts, request.settingsPath);
    std::shared_ptr<AccurateRipLookup> lookup;
    const AccurateRipDiscId id = MakeAccurateRipDiscId(MakeDiscQuery(disc));
    if (request.verifyOnline && id.Valid()) {
        const std::string driveKey = fixed || !facts.known ? std::string() : facts.Key();
        lookup = std::make_shared<AccurateRipLookup>(id, driveKey, VerifySettings::FromEnvironment(true));
    }
    RunVerifier::Binding binding{disc.handle, drives.akrip.SetReadMode, drives.akrip.SetReadOffset};
    session.verifier.Configure(disc, binding, std::move(facts), fixed, std::move(lookup));
}

// Where each audio track's audio lies as the library reads it (the session
// starts from the TOC, for a library that cannot say).
void FillAudioSpans(const AkripEntryPoints& akrip, OutputSession& session) {
    const DriveRecord& disc = session.Drive();
    // The hidden track one audio: from LSN 0 to track 1's INDEX 01.
    if (disc.layout.HasHiddenTrack()) session.audioSpans[0] = {0, disc.layout.HiddenFrames()};
    if (akrip.GetTrackRange == nullptr) return;
    for (int32_t t = 1; t <= disc.trackCount && t < TRACK_SLOTS; ++t) {
        OutputSession::AudioSpan& span = session.audioSpans[static_cast<size_t>(t)];
        int32_t first = 0;
        int32_t end = 0;
        if (akrip.GetTrackRange(disc.handle, t, &first, &end) == 1 && end > first) {
            span = {first, end};
        }
    }
}

}  // namespace

ExtractionJob::ExtractionJob(Token, DriveSet& drives) : drives_(drives) {}

ExtractionJob::~ExtractionJob() { End(); }

std::unique_ptr<ExtractionJob> ExtractionJob::Start(DriveSet& drives, int drive, const JobRequest& request,
                                                    std::string& error) {
    if (drive < 0 || drive >= drives.driveCount) {
        error = "there is no drive " + std::to_string(drive + 1);
        return nullptr;
    }
    auto job = std::make_unique<ExtractionJob>(Token{}, drives);
    // A disc change on the drive being read waits until the run is over.
    drives.BeginExtraction(drive);
    job->session_ = std::make_unique<OutputSession>();
    OutputSession& session = *job->session_;
    if (!session.Init(request.baseFolder, drives.drives[static_cast<size_t>(drive)], request.pluginModule,
                      request.format, QualityCode(request.format, request.qualityPosition))) {
        error = session.LastError();
        return nullptr;  // the destructor gives the drive back
    }
    session.readAudio = drives.akrip.ReadCDAudioLBAEx;
    session.setReadAbort = drives.akrip.SetReadAbort;
    session.takeReadStats = drives.akrip.TakeReadStats;
    session.setReadAhead = drives.akrip.SetReadAhead;
    FillAudioSpans(drives.akrip, session);
    BindVerifier(drives, session, request);
    job->run_ = std::make_unique<ExtractionRun>(session, request.startWorker);
    return job;
}

bool ExtractionJob::WriteLog(std::string& path, std::string& error) {
    if (!session_ || !run_ || !session_->trackChosen) {
        error = "no track was extracted";
        return false;
    }
    const std::string folder = DiscFolder();
    if (folder.empty()) {
        error = "the disc's folder path is too long";
        return false;
    }
    const std::string cueSheet = cueSheetPath_.substr(cueSheetPath_.rfind('/') + 1);
    return WriteRipLog(folder, RipLogText(*session_, *run_, cueSheet), path, error);
}

bool ExtractionJob::WriteCueSheet(std::string& path, std::string& error) {
    error.clear();
    if (!session_ || !run_ || run_->State() != RunState::Complete) return false;
    const OutputSession& session = *session_;
    const DriveRecord& disc = session.Drive();
    TrackFiles files;
    for (int32_t t = 0; t <= disc.trackCount && t < TRACK_SLOTS; ++t) {
        const TrackVerification& track = session.verifier.Track(t);
        const auto frames = static_cast<uint64_t>(session.audioSpans[static_cast<size_t>(t)].Frames());
        if (disc.tracks[static_cast<size_t>(t)].selected == 0 || !track.read || track.aborted ||
            track.samples != frames * 588 || frames == 0) {
            continue;
        }
        files[static_cast<size_t>(t)] = track.file.substr(track.file.rfind('/') + 1);
    }
    const std::string text = CueSheetText(disc, files);
    if (text.empty()) return false;
    const std::string folder = DiscFolder();
    if (folder.empty()) {
        error = "the disc's folder path is too long";
        return false;
    }
    if (!cadrix::WriteCueSheet(folder, text, path, error)) return false;
    cueSheetPath_ = path;
    return true;
}

std::string ExtractionJob::DiscFolder() {
    std::string folder;
    if (!session_ || !session_->BuildFolderPath(folder)) return {};
    return folder;
}

bool ExtractionJob::End() {
    if (ended_) return false;
    ended_ = true;
    run_.reset();
    session_.reset();  // waits for a worker still finishing its block
    return drives_.EndExtraction();
}

}  // namespace cadrix
