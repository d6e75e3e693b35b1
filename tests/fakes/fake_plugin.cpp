// A recording encoder plug-in for tests (see fake_plugin_control.h).
#define CADRIX_PLUGIN_IMPLEMENTATION
#include "cadrix_plugin.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "fake_plugin_control.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::mutex gLock;
std::vector<FakePluginCall> gLog;
int gOpenCalls = 0;
int gWriteCalls = 0;
int gRefuseOpen = 0;
int gRefuseWrite = 0;
std::FILE* gOutput = nullptr;

void CopyText(char* to, size_t size, const char* from) { std::snprintf(to, size, "%s", from != nullptr ? from : ""); }

FakePluginCall& Record(const char* function) {
    gLog.emplace_back();
    FakePluginCall& call = gLog.back();
    std::memset(&call, 0, sizeof call);
    CopyText(call.function, sizeof call.function, function);
    return call;
}

}  // namespace

FAKE_EXPORT void FakePlugin_Reset() {
    std::lock_guard lock(gLock);
    gLog.clear();
    gOpenCalls = gWriteCalls = gRefuseOpen = gRefuseWrite = 0;
    if (gOutput != nullptr) std::fclose(gOutput);
    gOutput = nullptr;
}

FAKE_EXPORT void FakePlugin_RefuseOpen(int call) {
    std::lock_guard lock(gLock);
    gRefuseOpen = call;
}

FAKE_EXPORT void FakePlugin_RefuseWrite(int call) {
    std::lock_guard lock(gLock);
    gRefuseWrite = call;
}

FAKE_EXPORT int FakePlugin_LogSize() {
    std::lock_guard lock(gLock);
    return static_cast<int>(gLog.size());
}

FAKE_EXPORT void FakePlugin_LogEntry(int index, FakePluginCall* out) {
    std::lock_guard lock(gLock);
    if (index >= 0 && static_cast<size_t>(index) < gLog.size()) *out = gLog[static_cast<size_t>(index)];
}

FAKE_EXPORT int FakePlugin_CallCount(const char* function) {
    std::lock_guard lock(gLock);
    int count = 0;
    for (const auto& call : gLog) count += std::strcmp(call.function, function) == 0 ? 1 : 0;
    return count;
}

int32_t OpenOutput(const char* baseName, int32_t qualityCode, const OutputTrackInfo* info) {
    std::lock_guard lock(gLock);
    FakePluginCall& call = Record("OpenOutput");
    CopyText(call.baseName, sizeof call.baseName, baseName);
    call.qualityCode = qualityCode;
    call.hadInfo = info != nullptr ? 1 : 0;
    if (info != nullptr) {
        call.trackNumber = info->trackNumber;
        CopyText(call.title, sizeof call.title, info->title);
        CopyText(call.artist, sizeof call.artist, info->artist);
        CopyText(call.album, sizeof call.album, info->album);
        CopyText(call.genre, sizeof call.genre, info->genre);
        CopyText(call.year, sizeof call.year, info->year);
        CopyText(call.region, sizeof call.region, info->region);
        CopyText(call.comment, sizeof call.comment, info->comment);
    }
    ++gOpenCalls;
    const bool refused = gRefuseOpen == -1 || gRefuseOpen == gOpenCalls;
    if (!refused && baseName != nullptr) {
        gOutput = std::fopen((std::string(baseName) + ".pcm").c_str(), "wb");
    }
    call.result = !refused && gOutput != nullptr ? 1 : 0;
    return call.result;
}

#ifndef FAKE_PLUGIN_WITHOUT_WRITE
int32_t WriteOutput(const uint8_t* pcm, uint32_t byteCount) {
    std::lock_guard lock(gLock);
    FakePluginCall& call = Record("WriteOutput");
    call.byteCount = byteCount;
    ++gWriteCalls;
    const bool refused = gRefuseWrite == gWriteCalls;
    bool written = false;
    if (!refused && gOutput != nullptr) written = std::fwrite(pcm, 1, byteCount, gOutput) == byteCount;
    call.result = written ? 1 : 0;
    return call.result;
}
#endif

void CloseOutput(void) {
    std::lock_guard lock(gLock);
    Record("CloseOutput");
    if (gOutput != nullptr) std::fclose(gOutput);
    gOutput = nullptr;
}
