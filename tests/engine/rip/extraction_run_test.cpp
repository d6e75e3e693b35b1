// The run logic the progress view drives: judging, selection, status texts,
// bar positions, failure, completion and abort. Workers are scripted here;
// the threaded suite below runs real ones.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <random>
#include <thread>

#include "extraction_test_support.h"
#include "fake_plugin_control.h"
#include "output/output_format.h"
#include "rip/extract_worker.h"
#include "rip/extraction_run.h"
#include "rip/output_session.h"
#include "util/module_loader.h"

namespace cadrix {
namespace {

using test::MakeDisc;
using test::TempFolder;

// What the scripted "worker" does with each track it is started for.
struct Script {
    int32_t shortBy = 0;  // frames missing from track `shortTrack`
    int32_t shortTrack = 0;
    bool refuseStart = false;
    bool keepRunning = false;  // the worker is still busy after the start
    std::vector<int32_t> started;
} gScript;

bool ScriptedStart(OutputSession& s) {
    if (gScript.refuseStart) return false;
    gScript.started.push_back(s.currentTrack);
    if (gScript.keepRunning) return true;
    const int32_t frames = s.trackFrames - (s.currentTrack == gScript.shortTrack ? gScript.shortBy : 0);
    s.framesDone = frames;
    s.trackBytesWritten = static_cast<uint32_t>(frames) * cadrix::cd::kFrameBytes;
    s.totalBytesWritten += static_cast<uint32_t>(frames) * cadrix::cd::kFrameBytes;
    s.running.store(0, std::memory_order_release);
    return true;
}

class RunTest : public ::testing::Test {
protected:
    void SetUp() override {
        gScript = Script{};
        drives[0] = MakeDisc({0, 100, 200, 300});
        ASSERT_TRUE(session.Init(tmp.Path(), drives[0], nullptr, 0, 0));
    }
    TempFolder tmp;
    std::array<DriveRecord, MAX_DRIVES> drives{};
    OutputSession session;
};

TEST_F(RunTest, CompleteRunShowsEachTrackThenCompletes) {
    ExtractionRun run(session, &ScriptedStart);
    run.Begin(300);
    EXPECT_EQ(run.StatusText(), "Initializing audio extraction...");
    EXPECT_STREQ(run.ButtonText(), "Abort");
    EXPECT_TRUE(run.TimerWanted());
    EXPECT_EQ(run.Totals().totalBytes, 300 * cadrix::cd::kFrameBytes);
    for (int t = 1; t <= 3; ++t) {
        const PollOutcome outcome = run.PollWorker();
        EXPECT_EQ(outcome.event, PollEvent::TrackStarted);
        EXPECT_EQ(run.StatusText(), "Extracting Track " + std::to_string(t) + "...");
        EXPECT_EQ(session.running.load(), 0);
    }
    const PollOutcome last = run.PollWorker();
    EXPECT_EQ(last.event, PollEvent::Completed);
    EXPECT_TRUE(last.playSound);
    EXPECT_EQ(run.StatusText(), "Audio extraction completed.");
    EXPECT_STREQ(run.ButtonText(), "Close");
    EXPECT_TRUE(run.Finished());
    EXPECT_FALSE(run.TimerWanted());
    EXPECT_EQ(run.TotalPosition(), 300u);
    EXPECT_EQ(run.PollWorker().event, PollEvent::None);
    EXPECT_EQ(gScript.started, (std::vector<int32_t>{1, 2, 3}));
}

TEST_F(RunTest, PluginFormatSaysCompressing) {
    ModuleHandle plugin(dlopen((test::FakePluginDir() + "/cadrix_wma.so").c_str(), RTLD_NOW | RTLD_LOCAL));
    ASSERT_TRUE(plugin);
    ASSERT_TRUE(session.Init(tmp.Path(), drives[0], plugin.get(), FORMAT_WMA, 5));
    ExtractionRun run(session, &ScriptedStart);
    run.Begin(300);
    run.PollWorker();
    EXPECT_EQ(run.StatusText(), "Extracting & Compressing Track 1...");
}

TEST_F(RunTest, ShortTrackFailsWithFullBarsAndTheSound) {
    gScript.shortTrack = 2;
    gScript.shortBy = 1;
    ExtractionRun run(session, &ScriptedStart);
    run.Begin(300);
    run.PollWorker();
    run.PollWorker();
    const PollOutcome outcome = run.PollWorker();
    EXPECT_EQ(outcome.event, PollEvent::Failed);
    EXPECT_TRUE(outcome.playSound);
    EXPECT_EQ(run.StatusText(), "Audio extraction failed.");
    EXPECT_STREQ(run.ButtonText(), "Close");
    EXPECT_EQ(run.TrackPosition(), 300u);
    EXPECT_EQ(run.TotalPosition(), 300u);
    EXPECT_FALSE(run.TimerWanted());
    EXPECT_EQ(gScript.started, (std::vector<int32_t>{1, 2}));
}

TEST_F(RunTest, FailureAfterAnAbortRequestIsSilent) {
    gScript.shortTrack = 1;
    gScript.shortBy = 50;
    ExtractionRun run(session, &ScriptedStart);
    run.Begin(300);
    run.PollWorker();
    session.abortRequested = 1;
    const PollOutcome outcome = run.PollWorker();
    EXPECT_EQ(outcome.event, PollEvent::Failed);
    EXPECT_FALSE(outcome.playSound);
}

// The audio before a data track is whole or its track failed: a track's
// length is its audio, so ending short is no longer taken for its end.
TEST_F(RunTest, ShortTrackBeforeAFinalDataTrackFailsTheRun) {
    drives[0] = MakeDisc({0, 100, 200, 300}, {3});
    gScript.shortTrack = 2;
    gScript.shortBy = 10;
    ExtractionRun run(session, &ScriptedStart);
    run.Begin(300);
    EXPECT_EQ(run.Totals().totalBytes, 200 * cadrix::cd::kFrameBytes);
    run.PollWorker();
    run.PollWorker();
    EXPECT_EQ(run.PollWorker().event, PollEvent::Failed);
    EXPECT_EQ(run.FailedTrack(), 2);
}

TEST_F(RunTest, WorkerThatCannotStartFailsTheRun) {
    gScript.refuseStart = true;
    ExtractionRun run(session, &ScriptedStart);
    run.Begin(300);
    EXPECT_EQ(run.PollWorker().event, PollEvent::Failed);
    EXPECT_EQ(session.running.load(), 0);
    EXPECT_EQ(run.StatusText(), "Audio extraction failed.");
}

TEST_F(RunTest, WithoutTimerNothingHappens) {
    ExtractionRun run(session, &ScriptedStart);
    run.Begin(300, false);
    EXPECT_EQ(run.StatusText(), "Unable to initialize audio extraction.");
    EXPECT_STREQ(run.ButtonText(), "Close");
    EXPECT_TRUE(run.Finished());
    EXPECT_EQ(run.PollWorker().event, PollEvent::None);
    EXPECT_TRUE(gScript.started.empty());
}

TEST_F(RunTest, NoSelectedTrackCompletesOnTheFirstTick) {
    for (auto& track : drives[0].tracks) track.selected = 0;
    ExtractionRun run(session, &ScriptedStart);
    run.Begin(300);
    EXPECT_EQ(run.PollWorker().event, PollEvent::Completed);
    EXPECT_EQ(run.TotalPosition(), 0u);
}

TEST_F(RunTest, AbortWhileAWorkerRunsWaitsForItsEnd) {
    gScript.keepRunning = true;
    ExtractionRun run(session, &ScriptedStart);
    run.Begin(300);
    ASSERT_EQ(run.PollWorker().event, PollEvent::TrackStarted);
    run.RequestAbort(false);  // Esc: no text
    EXPECT_EQ(run.State(), RunState::Aborting);
    EXPECT_EQ(run.StatusText(), "Extracting Track 1...");
    EXPECT_EQ(session.abortRequested.load(), 1);
    run.RequestAbort(true);
    EXPECT_EQ(run.StatusText(), "Aborting audio extraction...");
    EXPECT_EQ(run.PollWorker().event, PollEvent::None);
    EXPECT_FALSE(run.WaitForWorker(2, std::chrono::milliseconds(1)));
    session.running = 0;
    EXPECT_EQ(run.PollWorker().event, PollEvent::Aborted);
    EXPECT_EQ(run.State(), RunState::Aborted);
    EXPECT_EQ(run.PollWorker().event, PollEvent::None);
    EXPECT_EQ(gScript.started.size(), 1u);
}

TEST_F(RunTest, AbortBetweenTracksEndsAtOnce) {
    ExtractionRun run(session, &ScriptedStart);
    run.Begin(300);
    run.PollWorker();
    run.RequestAbort(true);
    EXPECT_EQ(run.State(), RunState::Aborted);
    EXPECT_EQ(run.PollWorker().event, PollEvent::None);
    EXPECT_EQ(gScript.started.size(), 1u);
    EXPECT_TRUE(run.WaitForWorker());
}

TEST(BarPosition, CountsAreDividedBy256BeforeTheProduct) {
    EXPECT_EQ(ExtractionRun::BarPosition(5292000, 10584000, 300), 149u);
    EXPECT_EQ(ExtractionRun::BarPosition(10584000, 10584000, 300), 300u);
    EXPECT_EQ(ExtractionRun::BarPosition(200, 255, 300), 0u);
    EXPECT_EQ(ExtractionRun::BarPosition(0, 0, 300), 0u);
    // A whole CD at the bar's width stays within 32 bits.
    EXPECT_EQ(ExtractionRun::BarPosition(783216000, 783216000, 400), 400u);
}

// ---- Real workers under ThreadSanitizer ----

int32_t PatternRead(HCDROM, ReadBuffer* main, ReadBuffer*) {
    static thread_local std::minstd_rand jitter(7);
    if (jitter() % 4 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
    uint8_t* data = ReadBufferData(main);
    for (uint32_t i = 0; i < main->frameCount * cadrix::cd::kFrameBytes; i += 97) data[i] = static_cast<uint8_t>(i);
    main->validBytes = main->frameCount * cadrix::cd::kFrameBytes;
    main->dataOffset = 0;
    return 1;
}

std::atomic<int> gWorkerNice{-100};

int32_t NiceRecordingRead(HCDROM handle, ReadBuffer* main, ReadBuffer* overlap) {
    gWorkerNice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    return PatternRead(handle, main, overlap);
}

TEST(RunThreads, WorkerRunsBelowTheCallersPriority) {
    TempFolder tmp;
    std::array<DriveRecord, MAX_DRIVES> drives{};
    drives[0] = MakeDisc({0, 10});
    OutputSession session;
    ASSERT_TRUE(session.Init(tmp.Path(), drives[0], nullptr, 0, 0));
    session.readAudio = &NiceRecordingRead;
    ASSERT_TRUE(SelectNextTrack(session));
    session.running.store(1, std::memory_order_release);
    ASSERT_TRUE(StartWorker(session));
    session.workerThread.join();
    const int own = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    EXPECT_EQ(gWorkerNice.load(), std::min(own + WORKER_NICE_INCREMENT, 19));
    EXPECT_EQ(session.running.load(std::memory_order_acquire), 0);
}

TEST(RunThreads, ManyRunsAbortedAtRandomPointsLeaveConsistentFiles) {
    TempFolder tmp;
    std::array<DriveRecord, MAX_DRIVES> drives{};
    drives[0] = MakeDisc({0, 60, 130, 200});
    drives[0].discTitle = "Stress";
    std::mt19937 random(12345);
    for (int round = 0; round < 60; ++round) {
        auto session = std::make_unique<OutputSession>();
        ASSERT_TRUE(session->Init(tmp.Path(), drives[0], nullptr, 0, 0));
        session->readAudio = &PatternRead;
        ExtractionRun run(*session);
        run.Begin(200);
        const int abortAfter = static_cast<int>(random() % 40);
        for (int tick = 0; !run.Finished() && tick < 100000; ++tick) {
            if (tick == abortAfter) run.RequestAbort(true);
            run.PollWorker();
            // Read what a view renders while the worker writes.
            (void)run.TrackPosition();
            (void)session->framesDone.load();
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 300));
            if (round % 3 == 0 && tick == abortAfter) {
                // The view gives up waiting at once; the session's
                // destruction then waits for the worker.
                run.WaitForWorker(0);
                break;
            }
        }
        session.reset();
        for (const auto& entry : std::filesystem::directory_iterator(tmp.Path() + "/Stress")) {
            EXPECT_TRUE(test::IsConsistentWave(test::ReadWholeFile(entry.path().string())))
                << entry.path() << " round " << round;
        }
    }
}

}  // namespace
}  // namespace cadrix
