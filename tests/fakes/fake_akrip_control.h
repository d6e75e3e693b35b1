// Test-side control of the fake akrip.so: a scriptable stand-in for the CD
// extraction library. The fake is loaded by the code under test through
// LoadModule("akrip.so"); the test opens the very same file with dlopen, so
// both see one copy of the fake's state.
//
// Usage:
//   cadrix::test::FakeAkrip fake;        // points CADRIX_MODULE_DIR at the fake
//   fake.Reset();
//   fake.SetDriveCount(1);
//   fake.SetToc(0, cadrix::test::MakeToc({0, 13500, 27000}));
//   fake.SetDiscId(0, 0x1234);
//   ... exercise the code ...
//   EXPECT_EQ(fake.CallCount("ReadTOC"), 1);
#pragma once

#include <dlfcn.h>
#include <stdlib.h>

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>

#include "akrip_records.h"

extern "C" {

// One recorded call of an entry point. Arguments by entry point:
//   GetCDList:        a = the count byte reported
//   GetCDHandle:      a = host adapter, b = target, c = lun, handle = result
//   CloseCDHandle:    handle
//   ModifyCDParms:    handle, a = parameter, b = value
//   ReadTOC:          handle
//   GetCDDBDiskID:    handle, a = word count
//   ReadCDAudioLBAEx: handle, a = main start frame, b = main frame count,
//                     c = main valid-byte count, d = overlap start frame (-1: none),
//                     e = overlap frame count, f = overlap valid-byte count
//                     (all as found on entry), result = the call's result
struct FakeAkripCall {
    char function[24];
    uint32_t handle;
    int64_t a, b, c, d, e, f;
    int32_t result;
};

}  // extern "C"

namespace cadrix::test {

// Maximum drives the fake can describe (more than a real list holds, so that
// a count above eight can be reported).
constexpr int FAKE_AKRIP_MAX_DRIVES = 16;

// The sample bytes the fake delivers for frame `lba`: a pattern that differs
// from frame to frame and from byte to byte, so tests can check exactly which
// frames landed where.
inline uint8_t FakeAudioByte(uint32_t lba, uint32_t offsetInFrame) {
    const uint32_t x = lba * 2654435761u + offsetInFrame * 40503u;
    return static_cast<uint8_t>((x >> 13) ^ (x >> 3) ^ offsetInFrame);
}

// The folder holding the fake akrip.so: $CADRIX_TEST_FAKES when set (ctest
// sets it), else the build-tree folder baked in at compile time.
inline std::string FakeModuleDir() {
    if (const char* dir = getenv("CADRIX_TEST_FAKES"); dir != nullptr && *dir != '\0') return dir;
#ifdef CADRIX_TEST_FAKES_DIR
    return CADRIX_TEST_FAKES_DIR;
#else
    return {};
#endif
}

// A variant of the fake that lacks the ReadCDAudioLBAEx export.
inline std::string FakeModuleDirWithoutReadAudio() { return FakeModuleDir() + "/no_read_audio"; }

// A TOC whose entries start at `starts` (the last one is the lead-out); the
// tracks whose 1-based numbers are in `dataTracks` get the data control bit.
inline TocBuffer MakeToc(std::initializer_list<uint32_t> starts, std::initializer_list<int> dataTracks = {}) {
    TocBuffer toc{};
    const int last = static_cast<int>(starts.size()) - 1;
    toc.firstTrack = 1;
    toc.lastTrack = static_cast<uint8_t>(last < 0 ? 0 : last);
    const unsigned length = 2 + 8 * static_cast<unsigned>(starts.size());
    toc.length[0] = static_cast<uint8_t>(length >> 8);
    toc.length[1] = static_cast<uint8_t>(length);
    int k = 0;
    for (uint32_t start : starts) {
        if (k >= AKRIP_TOC_ENTRIES) break;
        TocEntry& entry = toc.entries[k];
        entry.adrControl = 0x10;
        entry.trackNumber = static_cast<uint8_t>(k == last ? AKRIP_LEADOUT_TRACK : k + 1);
        for (int t : dataTracks) {
            if (t == k + 1) entry.adrControl = 0x14;
        }
        SetTocAddress(entry, start);
        ++k;
    }
    return toc;
}

class FakeAkrip {
public:
    // Loads the fake from `dir` (default: FakeModuleDir()) and points the
    // module search of the code under test at that folder.
    explicit FakeAkrip(const std::string& dir = FakeModuleDir()) : dir_(dir) {
        setenv("CADRIX_MODULE_DIR", dir_.c_str(), 1);
        const std::string path = dir_ + "/akrip.so";
        handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr) throw std::runtime_error("cannot load " + path);
        Resolve(reset_, "FakeAkrip_Reset");
        Resolve(setDriveCount_, "FakeAkrip_SetDriveCount");
        Resolve(setDriveName_, "FakeAkrip_SetDriveName");
        Resolve(setDriveAddress_, "FakeAkrip_SetDriveAddress");
        Resolve(setHandle_, "FakeAkrip_SetHandle");
        Resolve(setToc_, "FakeAkrip_SetToc");
        Resolve(clearToc_, "FakeAkrip_ClearToc");
        Resolve(setDiscId_, "FakeAkrip_SetDiscId");
        Resolve(failReads_, "FakeAkrip_FailReads");
        Resolve(setReadFrameLimit_, "FakeAkrip_SetReadFrameLimit");
        Resolve(setFramesOnCall_, "FakeAkrip_SetFramesOnCall");
        Resolve(setDataOffset_, "FakeAkrip_SetDataOffset");
        Resolve(blockOnRead_, "FakeAkrip_BlockOnRead");
        Resolve(waitForBlockedRead_, "FakeAkrip_WaitForBlockedRead");
        Resolve(releaseBlockedRead_, "FakeAkrip_ReleaseBlockedRead");
        Resolve(callCount_, "FakeAkrip_CallCount");
        Resolve(logSize_, "FakeAkrip_LogSize");
        Resolve(logEntry_, "FakeAkrip_LogEntry");
        Resolve(clearLog_, "FakeAkrip_ClearLog");
        Resolve(lastHandleRequest_, "FakeAkrip_LastHandleRequest");
        Resolve(readCalls_, "FakeAkrip_ReadCalls");
        Resolve(openHandles_, "FakeAkrip_OpenHandles");
    }
    ~FakeAkrip() {
        if (handle_ != nullptr) {
            releaseBlockedRead_();
            dlclose(handle_);
        }
    }
    FakeAkrip(const FakeAkrip&) = delete;
    FakeAkrip& operator=(const FakeAkrip&) = delete;

    const std::string& Dir() const { return dir_; }

    // Back to the initial state: no drives, no discs, default handles
    // (drive k gets handle 0x100 + k), MSF addressing on for every handle,
    // no read faults, empty call log. Releases a blocked read.
    void Reset() { reset_(); }
    // The drive count GetCDList reports (may exceed eight).
    void SetDriveCount(int count) { setDriveCount_(count); }
    // The product text of drive k, copied as is (at most 16 bytes and a NUL).
    void SetDriveName(int drive, const char* productId) { setDriveName_(drive, productId); }
    // Host adapter, target and lun of drive k (default k, k + 1, 0).
    void SetDriveAddress(int drive, int hostAdapter, int target, int lun) {
        setDriveAddress_(drive, hostAdapter, target, lun);
    }
    // The handle GetCDHandle returns for drive k; 0 models a failed open.
    void SetHandle(int drive, uint32_t handle) { setHandle_(drive, handle); }
    // The disc in drive k; ReadTOC copies it (addresses as LBA once
    // ModifyCDParms(handle, 36, 0) was called on the handle, as 0/M/S/F of
    // LBA + 150 before). Reads behave as the real library's: only its audio
    // tracks can be read; a read that starts anywhere else fails, one that
    // runs past the end of the audio (a data track, the lead-out) delivers
    // the frames up to it with the frame count lowered. Requests for 0 or
    // more than 27 frames, or more than the data area holds, fail.
    void SetToc(int drive, const TocBuffer& toc) { setToc_(drive, &toc); }
    // Takes the disc out of drive k: reads fail, and ReadTOC leaves the
    // buffer untouched (stricter than the real library, which zeroes it, so
    // that a caller relying on that instead of zeroing shows up).
    void ClearToc(int drive) { clearToc_(drive); }
    // Word 0 that GetCDDBDiskID writes for drive k.
    void SetDiscId(int drive, uint32_t id) { setDiscId_(drive, id); }

    // Read calls of drive k are numbered from 1 (since Reset). Calls
    // firstCall .. firstCall + count - 1 fail (result 0, valid-byte count 0);
    // count < 0 means every call from firstCall on.
    void FailReads(int drive, int firstCall, int count) { failReads_(drive, firstCall, count); }
    // A successful read of drive k delivers at most `frames` frames (0: no limit).
    void SetReadFrameLimit(int drive, uint32_t frames) { setReadFrameLimit_(drive, frames); }
    // Read call `call` of drive k delivers exactly `frames` frames (may be 0).
    void SetFramesOnCall(int drive, int call, uint32_t frames) { setFramesOnCall_(drive, call, frames); }
    // The data offset the fake reports for drive k's reads (default 0).
    void SetDataOffset(int drive, int32_t offset) { setDataOffset_(drive, offset); }
    // Read call `call` of drive k blocks, before it delivers anything, until
    // ReleaseBlockedRead() (or Reset()).
    void BlockOnRead(int drive, int call) { blockOnRead_(drive, call); }
    // True once a read is blocked, false after `timeoutMs` without one.
    bool WaitForBlockedRead(int timeoutMs) { return waitForBlockedRead_(timeoutMs) != 0; }
    void ReleaseBlockedRead() { releaseBlockedRead_(); }

    // Calls of one entry point (by export name) since the log was cleared.
    int CallCount(const char* function) const { return callCount_(function); }
    int LogSize() const { return logSize_(); }
    FakeAkripCall LogEntry(int index) const {
        FakeAkripCall call{};
        logEntry_(index, &call);
        return call;
    }
    void ClearLog() { clearLog_(); }
    // The last HandleRequest GetCDHandle received for drive k.
    HandleRequest LastHandleRequest(int drive) const {
        HandleRequest request{};
        lastHandleRequest_(drive, &request);
        return request;
    }
    int ReadCalls(int drive) const { return readCalls_(drive); }
    // Handles returned by GetCDHandle and not closed yet.
    int OpenHandles() const { return openHandles_(); }

private:
    template <typename Fn>
    void Resolve(Fn& slot, const char* name) {
        void* address = dlsym(handle_, name);
        if (address == nullptr) throw std::runtime_error(std::string("fake akrip lacks ") + name);
        slot = reinterpret_cast<Fn>(address);
    }

    std::string dir_;
    void* handle_ = nullptr;
    void (*reset_)() = nullptr;
    void (*setDriveCount_)(int) = nullptr;
    void (*setDriveName_)(int, const char*) = nullptr;
    void (*setDriveAddress_)(int, int, int, int) = nullptr;
    void (*setHandle_)(int, uint32_t) = nullptr;
    void (*setToc_)(int, const TocBuffer*) = nullptr;
    void (*clearToc_)(int) = nullptr;
    void (*setDiscId_)(int, uint32_t) = nullptr;
    void (*failReads_)(int, int, int) = nullptr;
    void (*setReadFrameLimit_)(int, uint32_t) = nullptr;
    void (*setFramesOnCall_)(int, int, uint32_t) = nullptr;
    void (*setDataOffset_)(int, int32_t) = nullptr;
    void (*blockOnRead_)(int, int) = nullptr;
    int (*waitForBlockedRead_)(int) = nullptr;
    void (*releaseBlockedRead_)() = nullptr;
    int (*callCount_)(const char*) = nullptr;
    int (*logSize_)() = nullptr;
    int (*logEntry_)(int, FakeAkripCall*) = nullptr;
    void (*clearLog_)() = nullptr;
    int (*lastHandleRequest_)(int, HandleRequest*) = nullptr;
    int (*readCalls_)(int) = nullptr;
    int (*openHandles_)() = nullptr;
};

}  // namespace cadrix::test
