// The engine's tests run against a scriptable fake of akrip.so. Here the
// fake, left unscripted, must answer like the real library does for the same
// disc: TOC bytes in both addressings, the disc-id words and the edges of
// ReadCDAudioLBAEx (lead-out, data track, malformed requests).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "akrip_fixture.h"
#include "fake_akrip_control.h"

namespace akrip_test {
namespace {

// Track starts of the reference disc (LBA) followed by a final data track
// in the same session; the last entry is the lead-out.
constexpr uint32_t kStarts[] = {0, 225, 540, 953, 1403, 1588};

void WriteMixedDisc(const TempDir& dir) {
    WriteFile(dir / "audio.bin", Concat({Track(0), Track(1), Track(2), Track(3)}));
    WriteFile(dir / "data.bin", DataSectors(185, kFrameBytes));
    WriteText(dir / "mixed.cue",
              "FILE \"audio.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n TRACK 02 AUDIO\n"
              "  INDEX 01 00:03:00\n TRACK 03 AUDIO\n  INDEX 01 00:07:15\n TRACK 04 AUDIO\n  INDEX 01 00:12:53\n"
              "FILE \"data.bin\" BINARY\n TRACK 05 MODE1/2352\n  INDEX 01 00:00:00\n");
}

// The seven entry points of one akrip.so file.
struct EntryPoints {
    explicit EntryPoints(void* module) : module(module) {
        read = reinterpret_cast<ReadCDAudioLBAExProc>(dlsym(module, "ReadCDAudioLBAEx"));
        readToc = reinterpret_cast<ReadTOCProc>(dlsym(module, "ReadTOC"));
        modify = reinterpret_cast<ModifyCDParmsProc>(dlsym(module, "ModifyCDParms"));
        discId = reinterpret_cast<GetCDDBDiskIDProc>(dlsym(module, "GetCDDBDiskID"));
    }
    void* module;
    ReadCDAudioLBAExProc read = nullptr;
    ReadTOCProc readToc = nullptr;
    ModifyCDParmsProc modify = nullptr;
    GetCDDBDiskIDProc discId = nullptr;
};

struct ReadOutcome {
    int32_t result;
    uint32_t frameCount;
    uint32_t validBytes;
    bool operator==(const ReadOutcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const ReadOutcome& o) {
    return out << "{result " << o.result << ", frames " << o.frameCount << ", bytes " << o.validBytes << "}";
}

ReadOutcome Read(const EntryPoints& akrip, HCDROM handle, uint32_t start, uint32_t frames,
                 uint32_t capacityFrames = 27) {
    std::vector<uint64_t> storage((sizeof(ReadBuffer) + 27 * kFrameBytes + 7) / 8);
    std::vector<uint64_t> overlapStorage((sizeof(ReadBuffer) + 3 * kFrameBytes + 7) / 8);
    auto* main = reinterpret_cast<ReadBuffer*>(storage.data());
    auto* overlap = reinterpret_cast<ReadBuffer*>(overlapStorage.data());
    main->capacity = capacityFrames * kFrameBytes;
    overlap->capacity = 3 * kFrameBytes;
    main->startFrame = start;
    main->frameCount = frames;
    main->validBytes = 12345;  // must not survive a failed read
    const int32_t result = akrip.read(handle, main, overlap);
    return {result, result == 1 ? main->frameCount : 0, main->validBytes};
}

class FakeParity : public ::testing::Test {
protected:
    void SetUp() override {
        WriteMixedDisc(dir_);
        realHandle_ = real_.OpenFolder(dir_.Path());
        ASSERT_NE(realHandle_, 0u);

        fake_ = std::make_unique<cadrix::test::FakeAkrip>();
        fake_->Reset();
        fake_->SetDriveCount(1);
        const TocBuffer toc = cadrix::test::MakeToc({kStarts[0], kStarts[1], kStarts[2], kStarts[3], kStarts[4],
                                                     kStarts[5]},
                                                    {5});
        fake_->SetToc(0, toc);
        fake_->SetDiscId(0, real_.DiscId(realHandle_));
        fakeModule_ = dlopen((fake_->Dir() + "/akrip.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(fakeModule_, nullptr);
    }
    void TearDown() override {
        if (fakeModule_ != nullptr) dlclose(fakeModule_);
    }

    EntryPoints Real() { return EntryPoints(real_.module); }
    EntryPoints Fake() { return EntryPoints(fakeModule_); }
    static constexpr HCDROM kFakeHandle = 0x100;  // drive 0's default handle

    TempDir dir_;
    Akrip real_;
    HCDROM realHandle_ = 0;
    std::unique_ptr<cadrix::test::FakeAkrip> fake_;
    void* fakeModule_ = nullptr;
};

TEST_F(FakeParity, TocInBothAddressingsAndDiscIdWords) {
    const EntryPoints real = Real();
    const EntryPoints fake = Fake();
    ASSERT_EQ(real_.TocLba(realHandle_), std::vector<uint32_t>(std::begin(kStarts), std::end(kStarts)));

    auto entries = [](const EntryPoints& akrip, HCDROM handle) {
        TocBuffer toc{};
        akrip.readToc(handle, &toc);
        // Bytes the program reads: the last-track byte, each track's data
        // bit and every address up to the lead-out's.
        std::vector<uint8_t> bytes{toc.lastTrack};
        for (int k = 0; k <= toc.lastTrack; ++k) {
            if (k < toc.lastTrack) bytes.push_back(toc.entries[k].adrControl & AKRIP_TOC_CONTROL_DATA);
            bytes.insert(bytes.end(), toc.entries[k].address, toc.entries[k].address + 4);
        }
        return bytes;
    };
    // A fresh real handle is in MSF addressing, like the fake's.
    const HCDROM msfHandle = real_.OpenFolder(dir_.Path());
    EXPECT_EQ(entries(fake, kFakeHandle), entries(real, msfHandle));
    fake.modify(kFakeHandle, AKRIP_PARM_MSF, 0);
    EXPECT_EQ(entries(fake, kFakeHandle), entries(real, realHandle_));

    std::vector<uint32_t> realWords(8, 0xEEEEEEEE);
    std::vector<uint32_t> fakeWords(8, 0xEEEEEEEE);
    EXPECT_EQ(fake.discId(kFakeHandle, fakeWords.data(), 8), real.discId(realHandle_, realWords.data(), 8));
    EXPECT_EQ(fakeWords, realWords);
}

TEST_F(FakeParity, ReadEdges) {
    const EntryPoints real = Real();
    const EntryPoints fake = Fake();
    struct Request {
        uint32_t start, frames, capacityFrames;
    };
    const Request requests[] = {
        {0, 27, 27},    {210, 27, 27},                  // across a boundary between audio tracks
        {1390, 27, 27},                                 // into the data track: cut at its start
        {1402, 1, 27},  {1403, 1, 27}, {1500, 27, 27},  // in the data track
        {1588, 27, 27}, {5000, 1, 27}, {0xFFFFFFFF, 27, 27}, {0, 0, 27}, {0, 28, 27}, {0, 3, 2}, {0, 2, 2},
    };
    for (const Request& r : requests) {
        EXPECT_EQ(Read(fake, kFakeHandle, r.start, r.frames, r.capacityFrames),
                  Read(real, realHandle_, r.start, r.frames, r.capacityFrames))
            << "start " << r.start << ", frames " << r.frames << ", capacity " << r.capacityFrames;
    }

    // No disc: every read fails in both.
    fake_->ClearToc(0);
    std::filesystem::remove(dir_ / "mixed.cue");
    real_.TocLba(realHandle_);  // the folder drive notices the eject at its next look
    EXPECT_EQ(Read(fake, kFakeHandle, 0, 27), Read(real, realHandle_, 0, 27));
}

}  // namespace
}  // namespace akrip_test
