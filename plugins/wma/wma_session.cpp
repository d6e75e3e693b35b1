#include "wma_session.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "text_widening.h"
#include "wma_profile_table.h"

namespace {

constexpr size_t kFileNameUnits = 512;
constexpr uint32_t kPcmBytesPerSecond = 176400;

const char* TextOrEmpty(const char* text) { return text ? text : ""; }

}  // namespace

WmaPlatform WmaPlatform::System() { return {CoInitialize, CoUninitialize, WMCreateWriter, WMCreateProfileManager}; }

int ChooseProfileIndex(int32_t qualityCode) {
    if (qualityCode & QUALITY_VBR_FLAG) {
        int level = qualityCode & QUALITY_LEVEL_MASK;
        if (level >= 6) level = 3;
        return level + 10;
    }
    if (qualityCode & QUALITY_LOSSLESS_FLAG) return WMA_PROFILE_LOSSLESS;
    int level = qualityCode & QUALITY_LEVEL_MASK;
    if (level >= 10) level = 5;
    return level;
}

WmaSession::WmaSession(const WmaPlatform& platform) : platform(platform) {}

WmaSession::~WmaSession() {
    if (open) CloseOutput();
}

void WmaSession::ReleaseObjects() {
    sample.Reset();
    sampleData = nullptr;
    profile.Reset();
    profileManager.Reset();
    writer.Reset();
}

// A failed open releases what it created and undoes the COM initialisation,
// since no CloseOutput follows it. A writer released before BeginWriting
// has created no file.
int32_t WmaSession::FailOpen() {
    ReleaseObjects();
    platform.coUninitialize();
    return 0;
}

int32_t WmaSession::OpenOutput(const char* baseName, int32_t qualityCode, const OutputTrackInfo* info) {
    if (open) CloseOutput();  // the host never does this; finish the previous file rather than lose it
    platform.coInitialize(nullptr);
    try {
        return OpenInitialised(baseName, qualityCode, info);
    } catch (const std::bad_alloc&) {
        return FailOpen();
    }
}

int32_t WmaSession::OpenInitialised(const char* baseName, int32_t qualityCode, const OutputTrackInfo* info) {

    trackInfo = info ? *info : OutputTrackInfo{};
    ReleaseObjects();
    sampleLength = 0;
    sampleClock = 0;

    if (FAILED(platform.createWriter(nullptr, writer.Put())) || !writer) return FailOpen();
    if (FAILED(platform.createProfileManager(profileManager.Put())) || !profileManager) return FailOpen();

    const int profileIndex = ChooseProfileIndex(qualityCode);
    WCHAR profileText[WMA_PROFILE_SLOT_SIZE];
    std::transform(WmaProfileTable[profileIndex], WmaProfileTable[profileIndex] + WMA_PROFILE_SLOT_SIZE,
                   profileText, [](char c) { return static_cast<WCHAR>(static_cast<unsigned char>(c)); });
    if (FAILED(profileManager->LoadProfileByData(profileText, profile.Put())) || !profile) return FailOpen();
    if (FAILED(writer->SetProfile(profile.Get()))) return FailOpen();

    if (!baseName) return FailOpen();
    const std::u16string wideName = WidenFileName(std::string(baseName) + ".wma");
    // A longer name would be cut short in the writer's buffer and name another file.
    if (wideName.size() >= kFileNameUnits) return FailOpen();
    WCHAR fileName[kFileNameUnits] = {};
    std::copy(wideName.begin(), wideName.end(), fileName);
    if (FAILED(writer->SetOutputFilename(fileName))) return FailOpen();

    WriteHeaderAttributes();

    if (FAILED(writer->BeginWriting())) return FailOpen();
    sampleClock = 0;
    open = true;
    return 1;
}

void WmaSession::WriteHeaderAttributes() {
    ComPtr<IWMHeaderInfo> header;
    if (FAILED(writer->QueryInterface(IID_IWMHeaderInfo, reinterpret_cast<void**>(header.Put()))) || !header)
        return;

    const std::pair<const char16_t*, const char*> texts[] = {
        {u"Title", trackInfo.title},         {u"Author", trackInfo.artist}, {u"WM/AlbumTitle", trackInfo.album},
        {u"WM/Genre", trackInfo.genre},      {u"WM/Year", trackInfo.year},  {u"Description", trackInfo.comment},
    };
    for (const auto& [name, source] : texts) {
        const std::u16string value = WidenText(TextOrEmpty(source));
        // Empty texts carry no tag; the value's byte length must fit 16 bits.
        if (value.empty() || (value.size() + 1) * 2 > 0xFFFF) continue;
        header->SetAttribute(0, name, WMT_TYPE_STRING, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<WORD>((value.size() + 1) * 2));
    }

    // "WM/Track" is zero-based; track number 0 gives 0xFFFFFFFF.
    const DWORD track = static_cast<DWORD>(trackInfo.trackNumber) - 1;
    header->SetAttribute(0, u"WM/Track", WMT_TYPE_DWORD, reinterpret_cast<const BYTE*>(&track), sizeof track);
    // The one-based number is what TagLib-based players and MediaInfo read.
    if (trackInfo.trackNumber > 0) {
        const DWORD number = static_cast<DWORD>(trackInfo.trackNumber);
        header->SetAttribute(0, u"WM/TrackNumber", WMT_TYPE_DWORD, reinterpret_cast<const BYTE*>(&number),
                             sizeof number);
    }
}

int32_t WmaSession::WriteOutput(const uint8_t* pcm, uint32_t byteCount) {
    if (!open || (!pcm && byteCount > 0) || byteCount > INT32_MAX) return 0;
    if (FAILED(writer->AllocateSample(byteCount, sample.Put())) || !sample) return 0;
    // A sample that reports less room than asked for is not written into.
    if (FAILED(sample->GetBufferAndLength(&sampleData, &sampleLength)) || sampleLength < byteCount ||
        (!sampleData && byteCount > 0)) {
        sample.Reset();
        sampleData = nullptr;
        return 0;
    }
    if (byteCount > 0) std::memcpy(sampleData, pcm, byteCount);
    if (FAILED(sample->SetLength(byteCount))) {
        sample.Reset();
        sampleData = nullptr;
        return 0;
    }
    const HRESULT written = writer->WriteSample(0, static_cast<QWORD>(sampleClock) * 100, 0, sample.Get());
    sample.Reset();
    sampleData = nullptr;
    if (FAILED(written)) return 0;
    sampleClock += MulDiv(static_cast<int32_t>(byteCount), 100000, kPcmBytesPerSecond);
    return 1;
}

void WmaSession::CloseOutput() {
    if (!open) return;
    writer->EndWriting();
    sample.Reset();
    profile.Reset();
    profileManager.Reset();
    writer.Reset();
    open = false;
    platform.coUninitialize();
}
