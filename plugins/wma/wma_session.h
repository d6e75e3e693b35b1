// The plug-in's session: one output at a time, from OpenOutput to CloseOutput.
#ifndef CADRIX_WMA_SESSION_H
#define CADRIX_WMA_SESSION_H

#include <cstdint>
#include <string>
#include <vector>

#include "cadrix_plugin.h"
#include "com_ptr.h"
#include "plugin_session.h"
#include "wmsdk.h"

// The platform calls a session makes; tests put fakes in place of the writer.
struct WmaPlatform {
    HRESULT (*coInitialize)(void* reserved);
    void (*coUninitialize)();
    HRESULT (*createWriter)(IUnknown* certificate, IWMWriter** writer);
    HRESULT (*createProfileManager)(IWMProfileManager** manager);
    HRESULT (*createEditor)(IWMMetadataEditor** editor) = nullptr;  // for RetagOutput

    static WmaPlatform System();
};

// Profile slot for a quality code: VBR wins over lossless, out-of-range
// levels fall back to the middle of their range; bits other than the level
// and the two flags are ignored.
int ChooseProfileIndex(int32_t qualityCode);

class WmaSession : public cadrix::plugin::Session {
public:
    explicit WmaSession(const WmaPlatform& platform);
    ~WmaSession() override;
    WmaSession(const WmaSession&) = delete;
    WmaSession& operator=(const WmaSession&) = delete;

    int32_t OpenOutput(const char* baseName, int32_t qualityCode, const OutputTrackInfo* info) override;
    int32_t WriteOutput(const uint8_t* pcm, uint32_t byteCount) override;
    void CloseOutput() override;
    // Sets tags in a finished .wma file as string attributes of the same
    // names, through the platform's metadata editor.
    int32_t RetagOutput(const std::string& fileName, const std::vector<cadrix::plugin::Tag>& tags) override;

    // Presentation time of the next block, in 10-microsecond units.
    int64_t SampleClock() const { return sampleClock; }
    bool IsOpen() const { return open; }

private:
    int32_t OpenInitialised(const char* baseName, int32_t qualityCode, const OutputTrackInfo* info);
    int32_t FailOpen(std::string reason);
    void WriteHeaderAttributes();
    void WriteDiscCodeAttributes(IWMHeaderInfo& header);
    void WriteLibraryAttributes(IWMHeaderInfo* header);
    void ReleaseObjects();

    WmaPlatform platform;
    ComPtr<IWMWriter> writer;
    ComPtr<IWMProfileManager> profileManager;
    ComPtr<IWMProfile> profile;
    ComPtr<INSSBuffer> sample;
    BYTE* sampleData = nullptr;
    DWORD sampleLength = 0;
    int64_t sampleClock = 0;
    // Text pointers are the host's, read during OpenOutput only.
    OutputTrackInfo trackInfo{};
    bool open = false;
    std::string path_;  // of the open output
};

#endif
