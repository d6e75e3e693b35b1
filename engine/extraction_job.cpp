#include "extraction_job.h"

#include "akrip_binding.h"

namespace cadrix {

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
    job->run_ = std::make_unique<ExtractionRun>(session, request.startWorker);
    return job;
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
