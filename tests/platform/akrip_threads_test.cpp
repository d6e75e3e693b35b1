// The interface thread probing a drive while the worker reads from it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <thread>

#include "akrip_fixture.h"

namespace akrip_test {
namespace {

Bytes AllTracks() { return Concat({Track(0), Track(1), Track(2), Track(3)}); }

void WriteDisc(const TempDir& dir) {
    WriteFile(dir / "audio.bin", AllTracks());
    WriteText(dir / "audio.cue",
              "FILE \"audio.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n TRACK 02 AUDIO\n"
              "  INDEX 01 00:03:00\n TRACK 03 AUDIO\n  INDEX 01 00:07:15\n TRACK 04 AUDIO\n  INDEX 01 00:12:53\n");
}

TEST(AkripThreads, ProbeEjectAndReadRaceOnOneHandle) {
    TempDir dir;
    WriteDisc(dir);
    const Bytes all = AllTracks();
    Akrip akrip;
    const HCDROM handle = akrip.OpenFolder(dir.Path());
    ASSERT_NE(handle, 0u);
    akrip.ModifyCDParms(handle, AKRIP_PARM_MSF, 0);

    std::atomic<bool> stop{false}, userDone{false};
    std::atomic<int> goodReads{0}, wrongReads{0}, wrongIds{0}, probes{0};

    auto readPass = [&](ReadBlock& block) {
        for (uint32_t start = 0; start < 1403; start += 27) {
            if (block.Read(akrip, handle, start, 27) != 1) continue;  // no disc just now
            const ReadBuffer* header = block.Header();
            const bool exact = header->validBytes == header->frameCount * kFrameBytes &&
                               std::memcmp(block.Data(), all.data() + size_t{start} * kFrameBytes,
                                           header->validBytes) == 0;
            (exact ? goodReads : wrongReads).fetch_add(1, std::memory_order_relaxed);
        }
    };
    std::thread worker([&] {
        // Start once the probe runs, so that the two really overlap.
        while (probes.load(std::memory_order_relaxed) == 0) std::this_thread::yield();
        ReadBlock block;
        for (int pass = 0; pass < 6 || !userDone.load(std::memory_order_acquire); ++pass) readPass(block);
        // The disc is back for good: after a look at it every read succeeds.
        TocBuffer toc{};
        akrip.ReadTOC(handle, &toc);
        const int before = goodReads.load();
        readPass(block);
        if (goodReads.load() - before != 52) wrongReads.fetch_add(1000, std::memory_order_relaxed);
        stop.store(true, std::memory_order_release);
    });
    std::thread probe([&] {
        do {
            TocBuffer toc{};
            akrip.ReadTOC(handle, &toc);
            uint32_t words[7] = {};
            const uint32_t id = toc.lastTrack ? akrip.GetCDDBDiskID(handle, words, 7) : 0;
            if (id != 0 && id != 0x15001204u) wrongIds.fetch_add(1, std::memory_order_relaxed);
            probes.fetch_add(1, std::memory_order_relaxed);
        } while (!stop.load(std::memory_order_acquire));
    });
    std::thread user([&] {
        // Ejects and inserts the disc while the others run.
        for (int i = 0; i < 20; ++i) {
            std::filesystem::rename(dir / "audio.cue", dir / "audio.cue.out");
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            std::filesystem::rename(dir / "audio.cue.out", dir / "audio.cue");
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        userDone.store(true, std::memory_order_release);
    });
    worker.join();
    probe.join();
    user.join();
    EXPECT_EQ(wrongReads.load(), 0) << goodReads.load() << " good reads, " << probes.load() << " probes";
    EXPECT_EQ(wrongIds.load(), 0);
    EXPECT_GT(goodReads.load(), 0);
    EXPECT_GT(probes.load(), 0);
}

TEST(AkripThreads, CloseWhileAnotherThreadReads) {
    TempDir dir;
    WriteDisc(dir);
    Akrip akrip;
    for (int round = 0; round < 20; ++round) {
        const HCDROM handle = akrip.OpenFolder(dir.Path());
        ASSERT_NE(handle, 0u);
        std::thread worker([&] {
            ReadBlock block;
            for (uint32_t start = 0; start < 1403; start += 27) {
                if (block.Read(akrip, handle, start, 27) != 1) break;
            }
        });
        std::this_thread::sleep_for(std::chrono::microseconds(200 * round));
        akrip.CloseCDHandle(handle);
        worker.join();
        ReadBlock block;
        EXPECT_EQ(block.Read(akrip, handle, 0, 1), 0);
    }
}

}  // namespace
}  // namespace akrip_test
