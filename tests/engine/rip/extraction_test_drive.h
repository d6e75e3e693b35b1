// A fixture for extraction suites that read through the fake akrip.so: one
// drive with a scripted disc, the real ReadCDAudioLBAEx of the fake, and
// helpers to run an ExtractionRun to its end.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "extraction_test_support.h"
#include "fake_akrip_control.h"
#include "rip/extraction_run.h"
#include "rip/output_session.h"
#include "util/module_loader.h"

namespace cadrix::test {

class FakeDriveTest : public ::testing::Test {
protected:
    FakeDriveTest() : akripModule(LoadModule("akrip.so")) {
        readAudio = reinterpret_cast<ReadCDAudioLBAExProc>(FindSymbol(akripModule, "ReadCDAudioLBAEx"));
        base = tmp.Path() + "/out";
    }

    void SetDisc(std::initializer_list<uint32_t> starts, std::initializer_list<int> dataTracks = {}) {
        fake.Reset();
        fake.SetDriveCount(1);
        fake.SetToc(0, MakeToc(starts, dataTracks));
        drives[0] = MakeDisc(starts, dataTracks);
        drives[0].discTitle = "Disc";
    }

    std::unique_ptr<OutputSession> NewSession(int32_t format = 0, void* module = nullptr, int32_t quality = 0) {
        auto session = std::make_unique<OutputSession>();
        EXPECT_TRUE(session->Init(base, drives[0], module, format, quality));
        session->readAudio = readAudio;
        return session;
    }

    // Polls the run until it ends; collects the status texts of started
    // tracks.
    RunState RunToEnd(ExtractionRun& run, std::vector<std::string>* started = nullptr) {
        run.Begin(300);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!run.Finished() && std::chrono::steady_clock::now() < deadline) {
            const PollOutcome outcome = run.PollWorker();
            if (outcome.event == PollEvent::TrackStarted && started != nullptr) {
                started->push_back(run.StatusText());
            }
            if (!run.Finished()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return run.State();
    }

    // Extracts the session's next selected track on this thread.
    void ExtractNextTrackHere(OutputSession& session) {
        ASSERT_TRUE(SelectNextTrack(session));
        session.running = 1;
        ExtractThreadProc(session);
    }

    struct Read {
        int64_t start, frames;
        int32_t result;
    };
    std::vector<Read> Reads() const {
        std::vector<Read> reads;
        for (int i = 0; i < fake.LogSize(); ++i) {
            const FakeAkripCall call = fake.LogEntry(i);
            if (std::string(call.function) == "ReadCDAudioLBAEx") {
                reads.push_back({call.a, call.b, call.result});
            }
        }
        return reads;
    }

    std::string TrackFile(int track, const char* extension = ".wav") const {
        char number[8];
        std::snprintf(number, sizeof number, "%02d", track);
        return base + "/Disc/" + number + " - Untitled Track" + extension;
    }

    // True when `pcm` holds exactly the fake's audio of frames
    // first .. first + frames - 1.
    static bool IsFakeAudio(const uint8_t* pcm, size_t size, uint32_t first, uint32_t frames) {
        if (size != size_t{frames} * AKRIP_FRAME_BYTES) return false;
        for (uint32_t f = 0; f < frames; ++f) {
            for (uint32_t i = 0; i < AKRIP_FRAME_BYTES; ++i) {
                if (pcm[size_t{f} * AKRIP_FRAME_BYTES + i] != FakeAudioByte(first + f, i)) return false;
            }
        }
        return true;
    }
    static bool WaveHolds(const std::string& path, uint32_t first, uint32_t frames) {
        const auto bytes = ReadWholeFile(path);
        return IsConsistentWave(bytes) && IsFakeAudio(bytes.data() + 44, bytes.size() - 44, first, frames);
    }

    FakeAkrip fake;
    ModuleHandle akripModule;
    ReadCDAudioLBAExProc readAudio = nullptr;
    TempFolder tmp;
    std::string base;
    std::array<DriveRecord, MAX_DRIVES> drives{};
};

}  // namespace cadrix::test
