// The extraction worker and the run it belongs to, reading from the fake
// akrip.so and writing WAVE files.
#include <filesystem>

#include "extraction_test_drive.h"
#include "rip/extract_worker.h"

namespace fs = std::filesystem;

namespace cadrix {
namespace {

class WorkerTest : public test::FakeDriveTest {};

TEST_F(WorkerTest, BlocksOf27FramesThenTheRestAndShortTracksInOneBlock) {
    SetDisc({0, 28, 38});
    auto session = NewSession();
    ExtractionRun run(*session);
    std::vector<std::string> started;
    EXPECT_EQ(RunToEnd(run, &started), RunState::Complete);
    EXPECT_EQ(started, (std::vector<std::string>{"Extracting Track 1...", "Extracting Track 2..."}));
    const auto reads = Reads();
    ASSERT_EQ(reads.size(), 3u);
    EXPECT_EQ(reads[0].start, 0);
    EXPECT_EQ(reads[0].frames, 27);
    EXPECT_EQ(reads[1].start, 27);
    EXPECT_EQ(reads[1].frames, 1);
    EXPECT_EQ(reads[2].start, 28);
    EXPECT_EQ(reads[2].frames, 10);
    // Every track starts with the valid count and the overlap header cleared.
    for (int i : {0, 2}) {
        const FakeAkripCall call = fake.LogEntry(i);
        EXPECT_EQ(call.c, 0);
        EXPECT_EQ(call.d, 0);
        EXPECT_EQ(call.e, 0);
        EXPECT_EQ(call.f, 0);
    }
    EXPECT_TRUE(WaveHolds(TrackFile(1), 0, 28));
    EXPECT_TRUE(WaveHolds(TrackFile(2), 28, 10));
    EXPECT_EQ(session->totalBytesWritten, 38 * AKRIP_FRAME_BYTES);
}

TEST_F(WorkerTest, ReadFailingTwiceThenSucceedingContinuesTheTrack) {
    SetDisc({0, 60});
    fake.FailReads(0, 1, 2);
    auto session = NewSession();
    ExtractionRun run(*session);
    EXPECT_EQ(RunToEnd(run), RunState::Complete);
    const auto reads = Reads();
    ASSERT_EQ(reads.size(), 5u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(reads[i].start, 0);
        EXPECT_EQ(reads[i].frames, 27);  // set again before every attempt
    }
    EXPECT_EQ(reads[2].result, 1);
    EXPECT_EQ(reads[4].start, 54);
    EXPECT_TRUE(WaveHolds(TrackFile(1), 0, 60));
}

TEST_F(WorkerTest, ThreeFailedAttemptsEndTheTrackAndFailTheRun) {
    SetDisc({0, 60, 100});
    fake.FailReads(0, 2, 3);
    auto session = NewSession();
    ExtractionRun run(*session);
    EXPECT_EQ(RunToEnd(run), RunState::Failed);
    EXPECT_EQ(run.StatusText(), STATUS_FAILED);
    EXPECT_EQ(Reads().size(), 4u);  // one good block, three attempts; track 2 untouched
    EXPECT_EQ(session->framesDone, 27);
    EXPECT_TRUE(WaveHolds(TrackFile(1), 0, 27));
    EXPECT_FALSE(fs::exists(TrackFile(2)));
}

TEST_F(WorkerTest, FrameCountLeftByTheReadMovesTheTrackOn) {
    SetDisc({0, 60});
    fake.SetFramesOnCall(0, 1, 20);
    auto session = NewSession();
    ExtractNextTrackHere(*session);
    const auto reads = Reads();
    ASSERT_EQ(reads.size(), 3u);
    EXPECT_EQ(reads[1].start, 20);
    EXPECT_EQ(reads[1].frames, 27);
    EXPECT_EQ(reads[2].start, 47);
    EXPECT_EQ(reads[2].frames, 13);
    EXPECT_EQ(session->framesDone, 60);
    EXPECT_EQ(session->running, 0);
    EXPECT_TRUE(WaveHolds(TrackFile(1), 0, 60));
}

TEST_F(WorkerTest, ReadDeliveringNoFrameCountsAsAFailedAttempt) {
    SetDisc({0, 30});
    fake.SetFramesOnCall(0, 1, 0);
    auto session = NewSession();
    ExtractNextTrackHere(*session);
    const auto reads = Reads();
    ASSERT_EQ(reads.size(), 3u);
    EXPECT_EQ(reads[1].start, 0);
    EXPECT_EQ(session->framesDone, 30);
    EXPECT_TRUE(WaveHolds(TrackFile(1), 0, 30));
}

// The fake's read, but the first call claims one frame more than a block
// holds.
ReadCDAudioLBAExProc gRealRead = nullptr;
int gOverCountingCalls = 0;
int32_t OverCountingRead(HCDROM handle, ReadBuffer* main, ReadBuffer* overlap) {
    const int32_t result = gRealRead(handle, main, overlap);
    if (++gOverCountingCalls == 1) main->frameCount = BLOCK_FRAMES + 1;
    return result;
}

TEST_F(WorkerTest, ReadClaimingMoreThanABlockCountsAsAFailedAttempt) {
    SetDisc({0, 30});
    auto session = NewSession();
    gRealRead = readAudio;
    gOverCountingCalls = 0;
    session->readAudio = &OverCountingRead;
    ExtractNextTrackHere(*session);
    const auto reads = Reads();
    ASSERT_EQ(reads.size(), 3u);
    EXPECT_EQ(reads[1].start, 0);  // the same block again
    EXPECT_EQ(reads[2].start, 27);
    EXPECT_EQ(session->framesDone, 30);
    EXPECT_TRUE(WaveHolds(TrackFile(1), 0, 30));
}

TEST_F(WorkerTest, AbortDuringAReadWritesThatBlockAndClosesTheTrack) {
    SetDisc({0, 270});
    fake.BlockOnRead(0, 2);
    auto session = NewSession();
    ExtractionRun run(*session);
    run.Begin(300);
    ASSERT_EQ(run.PollWorker().event, PollEvent::TrackStarted);
    ASSERT_TRUE(fake.WaitForBlockedRead(10000));
    run.RequestAbort(true);
    EXPECT_EQ(run.State(), RunState::Aborting);
    EXPECT_EQ(run.StatusText(), STATUS_ABORTING);
    fake.ReleaseBlockedRead();
    EXPECT_TRUE(run.WaitForWorker(100, std::chrono::milliseconds(50)));
    EXPECT_EQ(run.State(), RunState::Aborted);
    EXPECT_EQ(run.PollWorker().event, PollEvent::None);  // nothing starts after an abort
    EXPECT_EQ(fake.ReadCalls(0), 2);
    EXPECT_EQ(session->framesDone, 54);
    EXPECT_TRUE(WaveHolds(TrackFile(1), 0, 54));
}

TEST_F(WorkerTest, UnopenableOutputFailsAfterACompleteLongerTrack) {
    SetDisc({0, 100, 110});
    fs::create_directories(TrackFile(2));  // a folder where the file should go
    auto session = NewSession();
    ExtractionRun run(*session);
    EXPECT_EQ(RunToEnd(run), RunState::Failed);
    EXPECT_EQ(session->currentTrack, 2);
    EXPECT_EQ(session->framesDone, 0);
    for (const auto& read : Reads()) EXPECT_LT(read.start, 100);
    EXPECT_TRUE(WaveHolds(TrackFile(1), 0, 100));
}

TEST_F(WorkerTest, ShortAudioTrackBeforeAFinalDataTrackFailsTheRun) {
    // Reads 1-2 are track 1; read 3 is track 2's first block, read 4 its last.
    SetDisc({0, 50, 100, 200}, {3});
    fake.FailReads(0, 4, -1);
    auto session = NewSession();
    ExtractionRun run(*session);
    EXPECT_EQ(RunToEnd(run), RunState::Failed);
    EXPECT_EQ(run.FailedTrack(), 2);
    EXPECT_TRUE(WaveHolds(TrackFile(2), 50, 27));
    EXPECT_FALSE(fs::exists(TrackFile(3)));
}

TEST_F(WorkerTest, ShortTrackFailsTheRunAnywhereElse) {
    // The same failure on the last track of an all-audio disc, and on a
    // track that is not the one before the data track.
    for (const bool withData : {false, true}) {
        if (withData) {
            SetDisc({0, 50, 100, 150, 200}, {4});
            fake.FailReads(0, 2, -1);  // track 1 ends short
        } else {
            SetDisc({0, 50, 100});
            fake.FailReads(0, 4, -1);
        }
        auto session = NewSession();
        ExtractionRun run(*session);
        EXPECT_EQ(RunToEnd(run), RunState::Failed) << withData;
    }
}

TEST_F(WorkerTest, OnlyTheSelectedTracksAreRead) {
    SetDisc({0, 10, 20, 30, 40, 50});
    for (int t : {1, 3, 4}) drives[0].tracks[static_cast<size_t>(t)].selected = 0;
    auto session = NewSession();
    ExtractionRun run(*session);
    std::vector<std::string> started;
    EXPECT_EQ(RunToEnd(run, &started), RunState::Complete);
    EXPECT_EQ(started, (std::vector<std::string>{"Extracting Track 2...", "Extracting Track 5..."}));
    const auto reads = Reads();
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_EQ(reads[0].start, 10);
    EXPECT_EQ(reads[1].start, 40);
    for (int t : {1, 3, 4}) EXPECT_FALSE(fs::exists(TrackFile(t)));
    EXPECT_TRUE(WaveHolds(TrackFile(5), 40, 10));
    EXPECT_EQ(run.Totals().totalBytes, 20 * AKRIP_FRAME_BYTES);
}

}  // namespace
}  // namespace cadrix
