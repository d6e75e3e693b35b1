// A scriptable stand-in for akrip.so. It exports the seven entry points of
// the real library plus FakeAkrip_* control functions that tests reach
// through dlopen/dlsym of the same file (see fake_akrip_control.h). All state
// sits behind one mutex: an extraction worker reads while the test thread
// probes and scripts.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "akrip_records.h"
#include "fake_akrip_control.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using cadrix::test::FAKE_AKRIP_MAX_DRIVES;
using cadrix::test::FakeAudioByte;

struct FakeDrive {
    char productId[AKRIP_PRODUCT_ID_SIZE] = {};
    uint8_t hostAdapter = 0;
    uint8_t target = 0;
    uint8_t lun = 0;
    HCDROM handle = 0;
    bool hasDisc = false;
    TocBuffer toc{};
    uint32_t discId = 0;
    HandleRequest lastRequest{};
    int readCalls = 0;
    int failFirst = 0;
    int failCount = 0;
    uint32_t frameLimit = 0;
    std::map<int, uint32_t> framesOnCall;
    int32_t dataOffset = 0;
    int blockOnCall = 0;
};

struct FakeState {
    std::mutex mutex;
    std::condition_variable changed;
    int reportedCount = 0;
    FakeDrive drives[FAKE_AKRIP_MAX_DRIVES];
    std::multimap<HCDROM, int> openHandles;
    std::map<HCDROM, bool> msfOff;
    std::vector<FakeAkripCall> log;
    bool blocked = false;

    void ResetLocked() {
        reportedCount = 0;
        for (int k = 0; k < FAKE_AKRIP_MAX_DRIVES; ++k) {
            drives[k] = FakeDrive{};
            drives[k].hostAdapter = static_cast<uint8_t>(k);
            drives[k].target = static_cast<uint8_t>(k + 1);
            drives[k].handle = 0x100u + static_cast<HCDROM>(k);
        }
        openHandles.clear();
        msfOff.clear();
        log.clear();
        blocked = false;
        changed.notify_all();
    }

    FakeState() { ResetLocked(); }

    // The drive a handle belongs to; handle 0 and unknown handles have none.
    FakeDrive* DriveOf(HCDROM handle) {
        if (handle == 0) return nullptr;
        const int count = std::min(reportedCount, FAKE_AKRIP_MAX_DRIVES);
        for (int k = 0; k < count; ++k) {
            if (drives[k].handle == handle) return &drives[k];
        }
        return nullptr;
    }

    FakeAkripCall& Log(const char* function, HCDROM handle) {
        FakeAkripCall call{};
        std::strncpy(call.function, function, sizeof call.function - 1);
        call.handle = handle;
        log.push_back(call);
        return log.back();
    }
};

FakeState& State() {
    static FakeState state;
    return state;
}

FakeDrive* DriveAt(FakeState& state, int drive) {
    if (drive < 0 || drive >= FAKE_AKRIP_MAX_DRIVES) return nullptr;
    return &state.drives[drive];
}

void ToMsf(TocEntry& entry) {
    const uint32_t frames = TocAddress(entry) + 150;
    entry.address[0] = 0;
    entry.address[1] = static_cast<uint8_t>(frames / (75 * 60));
    entry.address[2] = static_cast<uint8_t>(frames / 75 % 60);
    entry.address[3] = static_cast<uint8_t>(frames % 75);
}

void FillFakeAudio(uint8_t* data, uint32_t start, uint32_t frames) {
    for (uint32_t i = 0; i < frames; ++i) {
        for (uint32_t j = 0; j < AKRIP_FRAME_BYTES; ++j) data[i * AKRIP_FRAME_BYTES + j] = FakeAudioByte(start + i, j);
    }
}

// Where the run of audio tracks holding `start` ends; 0 when `start` is not
// audio (no disc, a data track, at or past the lead-out).
uint32_t AudioEndFrom(const TocBuffer& toc, uint32_t start) {
    const int last = std::min<int>(toc.lastTrack, AKRIP_TOC_ENTRIES - 1);
    for (int k = 0; k < last; ++k) {
        // As the real library, the audio before track 1's start reads too.
        const uint32_t begin = k == 0 ? 0 : TocAddress(toc.entries[k]);
        const uint32_t end = TocAddress(toc.entries[k + 1]);
        if (start < begin || start >= end) continue;
        if ((toc.entries[k].adrControl & AKRIP_TOC_CONTROL_DATA) != 0) return 0;
        // Consecutive audio tracks read as one run.
        uint32_t audioEnd = end;
        for (int n = k + 1; n < last && (toc.entries[n].adrControl & AKRIP_TOC_CONTROL_DATA) == 0 &&
                            TocAddress(toc.entries[n + 1]) > audioEnd;
             ++n) {
            audioEnd = TocAddress(toc.entries[n + 1]);
        }
        return audioEnd;
    }
    return 0;
}

[[maybe_unused]] int32_t ReadAudio(HCDROM handle, ReadBuffer* main, ReadBuffer* overlap) {
    FakeState& state = State();
    std::unique_lock lock(state.mutex);
    {
        FakeAkripCall& call = state.Log("ReadCDAudioLBAEx", handle);
        call.a = main->startFrame;
        call.b = main->frameCount;
        call.c = main->validBytes;
        // The overlap buffer is unused; -1 records that none was passed.
        call.d = overlap != nullptr ? int64_t{overlap->startFrame} : -1;
        call.e = overlap != nullptr ? int64_t{overlap->frameCount} : -1;
        call.f = overlap != nullptr ? int64_t{overlap->validBytes} : -1;
    }
    const size_t logIndex = state.log.size() - 1;
    auto finish = [&](int32_t result) {
        // The log may have been cleared while the call was blocked.
        if (logIndex < state.log.size()) state.log[logIndex].result = result;
        return result;
    };

    FakeDrive* drive = state.DriveOf(handle);
    if (drive == nullptr) {
        main->validBytes = 0;
        return finish(0);
    }
    const int callNumber = ++drive->readCalls;

    if (drive->blockOnCall == callNumber) {
        state.blocked = true;
        state.changed.notify_all();
        state.changed.wait(lock, [&] { return !state.blocked; });
    }

    // A failed read, as the real library reports it: no valid bytes.
    auto fail = [&] {
        main->validBytes = 0;
        main->status = 1;
        return finish(0);
    };

    const bool failing = callNumber >= drive->failFirst && drive->failFirst > 0 &&
                         (drive->failCount < 0 || callNumber < drive->failFirst + drive->failCount);
    if (failing) return fail();

    // Requests the real library refuses: no frames, more than a read may
    // ask for, or more than the data area holds.
    const uint32_t start = main->startFrame;
    uint32_t frames = main->frameCount;
    if (frames == 0 || frames > AKRIP_MAX_READ_FRAMES || frames > main->capacity / AKRIP_FRAME_BYTES) {
        return fail();
    }

    // Only audio can be read. A request that starts outside the audio (no
    // disc, a data track, at or past the lead-out) fails; one that runs past
    // the end of the audio delivers the frames up to it, with the count
    // lowered.
    const uint32_t audioEnd = AudioEndFrom(drive->toc, start);
    if (audioEnd == 0) return fail();
    frames = std::min(frames, audioEnd - start);

    // Scripted deviations on top.
    if (drive->frameLimit != 0) frames = std::min(frames, drive->frameLimit);
    if (auto it = drive->framesOnCall.find(callNumber); it != drive->framesOnCall.end()) {
        frames = it->second;
    }
    const uint32_t offset = std::min<uint32_t>(static_cast<uint32_t>(std::max(drive->dataOffset, 0)), main->capacity);
    frames = std::min<uint32_t>(frames, (main->capacity - offset) / AKRIP_FRAME_BYTES);

    FillFakeAudio(ReadBufferData(main) + offset, start, frames);
    main->frameCount = frames;
    main->validBytes = frames * AKRIP_FRAME_BYTES;
    main->dataOffset = static_cast<int32_t>(offset);
    main->status = 0;
    return finish(1);
}

}  // namespace

// ---- The library's entry points ----

FAKE_EXPORT int32_t GetCDList(DriveListBuffer* list) {
    FakeState& state = State();
    std::lock_guard lock(state.mutex);
    state.Log("GetCDList", 0).a = state.reportedCount;
    list->count = static_cast<uint8_t>(std::clamp(state.reportedCount, 0, 255));
    const int filled = std::min(state.reportedCount, static_cast<int>(AKRIP_MAX_DRIVES));
    for (int k = 0; k < filled; ++k) {
        DriveListEntry& entry = list->entries[k];
        entry.hostAdapter = state.drives[k].hostAdapter;
        entry.target = state.drives[k].target;
        entry.lun = state.drives[k].lun;
        std::memcpy(entry.productId, state.drives[k].productId, sizeof entry.productId);
    }
    return 1;
}

FAKE_EXPORT HCDROM GetCDHandle(HandleRequest* request) {
    FakeState& state = State();
    std::lock_guard lock(state.mutex);
    FakeAkripCall& call = state.Log("GetCDHandle", 0);
    call.a = request->hostAdapter;
    call.b = request->target;
    call.c = request->lun;
    const int count = std::min(state.reportedCount, FAKE_AKRIP_MAX_DRIVES);
    for (int k = 0; k < count; ++k) {
        FakeDrive& drive = state.drives[k];
        if (drive.hostAdapter != request->hostAdapter || drive.target != request->target || drive.lun != request->lun) {
            continue;
        }
        drive.lastRequest = *request;
        call.handle = drive.handle;
        call.result = static_cast<int32_t>(drive.handle);
        if (drive.handle != 0) {
            state.openHandles.emplace(drive.handle, k);
            state.msfOff.erase(drive.handle);
        }
        return drive.handle;
    }
    return 0;
}

FAKE_EXPORT int32_t CloseCDHandle(HCDROM handle) {
    FakeState& state = State();
    std::lock_guard lock(state.mutex);
    state.Log("CloseCDHandle", handle);
    auto it = state.openHandles.find(handle);
    if (it == state.openHandles.end()) return 0;
    state.openHandles.erase(it);
    return 1;
}

FAKE_EXPORT int32_t ModifyCDParms(HCDROM handle, int32_t parameter, uint32_t value) {
    FakeState& state = State();
    std::lock_guard lock(state.mutex);
    FakeAkripCall& call = state.Log("ModifyCDParms", handle);
    call.a = parameter;
    call.b = value;
    if (state.DriveOf(handle) == nullptr) return 0;
    if (parameter == AKRIP_PARM_MSF) state.msfOff[handle] = (value == 0);
    return 1;
}

FAKE_EXPORT int32_t ReadTOC(HCDROM handle, TocBuffer* toc) {
    FakeState& state = State();
    std::lock_guard lock(state.mutex);
    state.Log("ReadTOC", handle);
    const FakeDrive* drive = state.DriveOf(handle);
    if (drive == nullptr || !drive->hasDisc) return 0;
    *toc = drive->toc;
    const auto msf = state.msfOff.find(handle);
    if (msf == state.msfOff.end() || !msf->second) {
        for (int k = 0; k <= toc->lastTrack && k < AKRIP_TOC_ENTRIES; ++k) ToMsf(toc->entries[k]);
    }
    return 1;
}

#ifndef FAKE_AKRIP_WITHOUT_READ_AUDIO
FAKE_EXPORT int32_t ReadCDAudioLBAEx(HCDROM handle, ReadBuffer* main, ReadBuffer* overlap) {
    return ReadAudio(handle, main, overlap);
}
#endif

FAKE_EXPORT uint32_t GetCDDBDiskID(HCDROM handle, uint32_t* ids, int32_t wordCount) {
    FakeState& state = State();
    std::lock_guard lock(state.mutex);
    state.Log("GetCDDBDiskID", handle).a = wordCount;
    const FakeDrive* drive = state.DriveOf(handle);
    if (drive == nullptr || !drive->hasDisc || wordCount < 1) return 0;
    // The words the real library writes, as far as the caller's count
    // reaches: the id, the track count, each track's start + 150 and the
    // disc length in seconds. A caller's array shorter than last + 3 words
    // shows up under AddressSanitizer.
    const int last = std::min<int>(drive->toc.lastTrack, AKRIP_TOC_ENTRIES - 1);
    const int32_t words = std::min<int32_t>(wordCount, last + 3);
    for (int32_t w = 0; w < words; ++w) {
        if (w == 0) {
            ids[w] = drive->discId;
        } else if (w == 1) {
            ids[w] = static_cast<uint32_t>(last);
        } else if (w < last + 2) {
            ids[w] = TocAddress(drive->toc.entries[w - 2]) + 150;
        } else {
            ids[w] = (TocAddress(drive->toc.entries[last]) + 150) / 75;
        }
    }
    return drive->discId;
}

// ---- Control functions for tests ----

FAKE_EXPORT void FakeAkrip_Reset() {
    FakeState& state = State();
    std::lock_guard lock(state.mutex);
    state.ResetLocked();
}

FAKE_EXPORT void FakeAkrip_SetDriveCount(int count) {
    FakeState& state = State();
    std::lock_guard lock(state.mutex);
    state.reportedCount = std::max(count, 0);
}

FAKE_EXPORT void FakeAkrip_SetDriveName(int drive, const char* productId) {
    FakeState& state = State();
    std::lock_guard lock(state.mutex);
    if (FakeDrive* d = DriveAt(state, drive)) {
        std::memset(d->productId, 0, sizeof d->productId);
        std::strncpy(d->productId, productId, sizeof d->productId - 1);
    }
}

FAKE_EXPORT void FakeAkrip_SetDriveAddress(int drive, int hostAdapter, int target, int lun) {
    FakeState& state = State();
    std::lock_guard lock(state.mutex);
    if (FakeDrive* d = DriveAt(state, drive)) {
        d->hostAdapter = static_cast<uint8_t>(hostAdapter);
        d->target = static_cast<uint8_t>(target);
        d->lun = static_cast<uint8_t>(lun);
    }
}

FAKE_EXPORT void FakeAkrip_SetHandle(int drive, uint32_t handle) {
    FakeState& state = State();
    std::lock_guard lock(state.mutex);
    if (FakeDrive* d = DriveAt(state, drive)) d->handle = handle;
}

FAKE_EXPORT void FakeAkrip_SetToc(int drive, const TocBuffer* toc) {
    FakeState& state = State();
    std::lock_guard lock(state.mutex);
    if (FakeDrive* d = DriveAt(state, drive)) {
        d->toc = *toc;
        d->hasDisc = true;
    }
}

FAKE_EXPORT void FakeAkrip_ClearToc(int drive) {
    FakeState& state = State();
    std::lock_guard lock(state.mutex);
    if (FakeDrive* d = DriveAt(state, drive)) {
        d->toc = TocBuffer{};
        d->hasDisc = false;
    }
}

FAKE_EXPORT void FakeAkrip_SetDiscId(int drive, uint32_t id) {
    FakeState& state = State();
    std::lock_guard lock(state.mutex);
    if (FakeDrive* d = DriveAt(state, drive)) d->discId = id;
}

FAKE_EXPORT void FakeAkrip_FailReads(int drive, int firstCall, int count) {
    FakeState& state = State();
    std::lock_guard lock(state.mutex);
    if (FakeDrive* d = DriveAt(state, drive)) {
        d->failFirst = firstCall;
        d->failCount = count;
    }
}

FAKE_EXPORT void FakeAkrip_SetReadFrameLimit(int drive, uint32_t frames) {
    FakeState& state = State();
    std::lock_guard lock(state.mutex);
    if (FakeDrive* d = DriveAt(state, drive)) d->frameLimit = frames;
}

FAKE_EXPORT void FakeAkrip_SetFramesOnCall(int drive, int call, uint32_t frames) {
    FakeState& state = State();
    std::lock_guard lock(state.mutex);
    if (FakeDrive* d = DriveAt(state, drive)) d->framesOnCall[call] = frames;
}

FAKE_EXPORT void FakeAkrip_SetDataOffset(int drive, int32_t offset) {
    FakeState& state = State();
    std::lock_guard lock(state.mutex);
    if (FakeDrive* d = DriveAt(state, drive)) d->dataOffset = offset;
}

FAKE_EXPORT void FakeAkrip_BlockOnRead(int drive, int call) {
    FakeState& state = State();
    std::lock_guard lock(state.mutex);
    if (FakeDrive* d = DriveAt(state, drive)) d->blockOnCall = call;
}

FAKE_EXPORT int FakeAkrip_WaitForBlockedRead(int timeoutMs) {
    FakeState& state = State();
    std::unique_lock lock(state.mutex);
    return state.changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return state.blocked; }) ? 1 : 0;
}

FAKE_EXPORT void FakeAkrip_ReleaseBlockedRead() {
    FakeState& state = State();
    std::lock_guard lock(state.mutex);
    state.blocked = false;
    for (FakeDrive& d : state.drives) d.blockOnCall = 0;
    state.changed.notify_all();
}

FAKE_EXPORT int FakeAkrip_CallCount(const char* function) {
    FakeState& state = State();
    std::lock_guard lock(state.mutex);
    return static_cast<int>(std::count_if(state.log.begin(), state.log.end(),
                                          [&](const auto& c) { return std::strcmp(c.function, function) == 0; }));
}

FAKE_EXPORT int FakeAkrip_LogSize() {
    FakeState& state = State();
    std::lock_guard lock(state.mutex);
    return static_cast<int>(state.log.size());
}

FAKE_EXPORT int FakeAkrip_LogEntry(int index, FakeAkripCall* out) {
    FakeState& state = State();
    std::lock_guard lock(state.mutex);
    if (index < 0 || static_cast<size_t>(index) >= state.log.size()) return 0;
    *out = state.log[static_cast<size_t>(index)];
    return 1;
}

FAKE_EXPORT void FakeAkrip_ClearLog() {
    FakeState& state = State();
    std::lock_guard lock(state.mutex);
    state.log.clear();
}

FAKE_EXPORT int FakeAkrip_LastHandleRequest(int drive, HandleRequest* out) {
    FakeState& state = State();
    std::lock_guard lock(state.mutex);
    const FakeDrive* d = DriveAt(state, drive);
    if (d == nullptr) return 0;
    *out = d->lastRequest;
    return 1;
}

FAKE_EXPORT int FakeAkrip_ReadCalls(int drive) {
    FakeState& state = State();
    std::lock_guard lock(state.mutex);
    const FakeDrive* d = DriveAt(state, drive);
    return d == nullptr ? 0 : d->readCalls;
}

FAKE_EXPORT int FakeAkrip_OpenHandles() {
    FakeState& state = State();
    std::lock_guard lock(state.mutex);
    return static_cast<int>(state.openHandles.size());
}
