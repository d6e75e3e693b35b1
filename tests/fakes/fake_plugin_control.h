// Test-side control of the fake encoder plug-in: a module that exports the
// plug-in contract's three entry points, records every call, can refuse an
// open or a given block, and copies the accepted PCM to "<baseName>.pcm".
// It is built as cadrix_wma.so (and cadrix_ogg.so) into
// $CADRIX_TEST_FAKES/plugins, so the real binding loads it by name; the test
// opens the same file with dlopen and so shares its state.
#pragma once

#include <dlfcn.h>
#include <stdlib.h>

#include <cstdint>
#include <stdexcept>
#include <string>

extern "C" {

// One recorded call. OpenOutput: baseName, qualityCode, the record's
// trackNumber and texts (copied), hadInfo. WriteOutput: byteCount, result.
// CloseOutput: nothing but the name.
struct FakePluginCall {
    char function[16];
    char baseName[512];
    int32_t qualityCode;
    int32_t trackNumber;
    char title[128];
    char artist[128];
    char album[128];
    char genre[64];
    char year[16];
    char region[64];
    char comment[64];
    int32_t hadInfo;
    uint32_t byteCount;
    int32_t result;
};

}  // extern "C"

namespace cadrix::test {

inline std::string FakePluginDir() {
    if (const char* dir = getenv("CADRIX_TEST_FAKES"); dir != nullptr && *dir != '\0') {
        return std::string(dir) + "/plugins";
    }
#ifdef CADRIX_TEST_FAKES_DIR
    return std::string(CADRIX_TEST_FAKES_DIR) + "/plugins";
#else
    return {};
#endif
}

// A variant lacking the WriteOutput export.
inline std::string FakePluginDirWithoutWrite() { return FakePluginDir() + "/no_write"; }

class FakePlugin {
public:
    // Loads the fake's cadrix_wma.so from `dir` and points the module search
    // of the code under test at that folder.
    explicit FakePlugin(const std::string& dir = FakePluginDir(), const char* file = "cadrix_wma.so") : dir_(dir) {
        setenv("CADRIX_MODULE_DIR", dir_.c_str(), 1);
        const std::string path = dir_ + "/" + file;
        handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr) throw std::runtime_error("cannot load " + path);
        Resolve(reset_, "FakePlugin_Reset");
        Resolve(refuseOpen_, "FakePlugin_RefuseOpen");
        Resolve(refuseWrite_, "FakePlugin_RefuseWrite");
        Resolve(logSize_, "FakePlugin_LogSize");
        Resolve(logEntry_, "FakePlugin_LogEntry");
        Resolve(callCount_, "FakePlugin_CallCount");
    }
    ~FakePlugin() {
        if (handle_ != nullptr) dlclose(handle_);
    }
    FakePlugin(const FakePlugin&) = delete;
    FakePlugin& operator=(const FakePlugin&) = delete;

    void* Handle() const { return handle_; }
    const std::string& Dir() const { return dir_; }

    // Empty log, every call accepted, no output open.
    void Reset() { reset_(); }
    // OpenOutput call number `call` (from 1 since Reset) returns 0; -1: all.
    void RefuseOpen(int call) { refuseOpen_(call); }
    // WriteOutput call number `call` (from 1 since Reset) returns 0.
    void RefuseWrite(int call) { refuseWrite_(call); }
    int LogSize() const { return logSize_(); }
    FakePluginCall LogEntry(int index) const {
        FakePluginCall call{};
        logEntry_(index, &call);
        return call;
    }
    int CallCount(const char* function) const { return callCount_(function); }

private:
    template <typename Fn>
    void Resolve(Fn& slot, const char* name) {
        void* address = dlsym(handle_, name);
        if (address == nullptr) throw std::runtime_error(std::string("fake plug-in lacks ") + name);
        slot = reinterpret_cast<Fn>(address);
    }

    std::string dir_;
    void* handle_ = nullptr;
    void (*reset_)() = nullptr;
    void (*refuseOpen_)(int) = nullptr;
    void (*refuseWrite_)(int) = nullptr;
    int (*logSize_)() = nullptr;
    void (*logEntry_)(int, FakePluginCall*) = nullptr;
    int (*callCount_)(const char*) = nullptr;
};

}  // namespace cadrix::test
