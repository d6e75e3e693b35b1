#include "wma_session.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "text_widening.h"
#include "wma_profile_table.h"

namespace {

constexpr size_t kFileNameUnits = 512;
constexpr uint32_t kPcmBytesPerSecond = 176400;

const char* TextOrEmpty(const char* text) { return text ? text : ""; }

}  // namespace

WmaPlatform WmaPlatform::System() {
    return {CoInitialize, CoUninitialize, WMCreateWriter, WMCreateProfileManager, WMCreateEditor};
}

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
int32_t WmaSession::FailOpen(std::string reason) {
    ReleaseObjects();
    platform.coUninitialize();
    return Fail(std::move(reason));
}

int32_t WmaSession::OpenOutput(const char* baseName, int32_t qualityCode, const OutputTrackInfo* info) {
    if (open) CloseOutput();  // the host never does this; finish the previous file rather than lose it
    ClearError();
    platform.coInitialize(nullptr);
    try {
        return OpenInitialised(baseName, qualityCode, info);
    } catch (const std::bad_alloc&) {
        return FailOpen("out of memory");
    }
}

int32_t WmaSession::OpenInitialised(const char* baseName, int32_t qualityCode, const OutputTrackInfo* info) {
    trackInfo = info ? *info : OutputTrackInfo{};
    ReleaseObjects();
    sampleLength = 0;
    sampleClock = 0;

    if (FAILED(platform.createWriter(nullptr, writer.Put())) || !writer ||
        FAILED(platform.createProfileManager(profileManager.Put())) || !profileManager) {
        return FailOpen("the Windows Media writer could not be created");
    }

    const int profileIndex = ChooseProfileIndex(qualityCode);
    WCHAR profileText[WMA_PROFILE_SLOT_SIZE];
    std::transform(WmaProfileTable[profileIndex], WmaProfileTable[profileIndex] + WMA_PROFILE_SLOT_SIZE, profileText,
                   [](char c) { return static_cast<WCHAR>(static_cast<unsigned char>(c)); });
    if (FAILED(profileManager->LoadProfileByData(profileText, profile.Put())) || !profile ||
        FAILED(writer->SetProfile(profile.Get()))) {
        return FailOpen("the Windows Media writer has no encoder for this quality");
    }

    if (!baseName) return FailOpen("no output file name");
    const std::string path = std::string(baseName) + ".wma";
    const std::u16string wideName = WidenFileName(path);
    // A longer name would be cut short in the writer's buffer and name another file.
    if (wideName.size() >= kFileNameUnits) return FailOpen("the file name '" + path + "' is too long");
    WCHAR fileName[kFileNameUnits] = {};
    std::copy(wideName.begin(), wideName.end(), fileName);
    if (FAILED(writer->SetOutputFilename(fileName))) return FailOpen("the file name '" + path + "' was refused");

    WriteHeaderAttributes();

    errno = 0;
    if (FAILED(writer->BeginWriting())) {
        const int error = errno;
        return FailOpen("cannot create '" + path + "'" + (error != 0 ? std::string(": ") + std::strerror(error) : ""));
    }
    path_ = path;
    sampleClock = 0;
    open = true;
    return 1;
}

// What the disc's sub-channel says of the track: "WM/ISRC", "WM/Barcode"
// (the media catalog number) and "PreEmphasis".
void WmaSession::WriteDiscCodeAttributes(IWMHeaderInfo& header) {
    const OutputTrackExtras& extras = Extras();
    const std::pair<const char16_t*, const char*> codes[] = {{u"WM/ISRC", extras.isrc},
                                                             {u"WM/Barcode", extras.catalog},
                                                             {u"PreEmphasis", extras.preEmphasis ? "yes" : ""}};
    for (const auto& [name, source] : codes) {
        const std::u16string value = WidenText(TextOrEmpty(source));
        if (value.empty()) continue;
        header.SetAttribute(0, name, WMT_TYPE_STRING, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<WORD>((value.size() + 1) * 2));
    }
}

void WmaSession::WriteHeaderAttributes() {
    ComPtr<IWMHeaderInfo> header;
    if (FAILED(writer->QueryInterface(IID_IWMHeaderInfo, reinterpret_cast<void**>(header.Put()))) || !header) return;

    const std::pair<const char16_t*, const char*> texts[] = {
        {u"Title", trackInfo.title},    {u"Author", trackInfo.artist}, {u"WM/AlbumTitle", trackInfo.album},
        {u"WM/Genre", trackInfo.genre}, {u"WM/Year", trackInfo.year},  {u"Description", trackInfo.comment},
    };
    for (const auto& [name, source] : texts) {
        const std::u16string value = WidenText(TextOrEmpty(source));
        // Empty texts carry no tag; the value's byte length must fit 16 bits.
        if (value.empty() || (value.size() + 1) * 2 > 0xFFFF) continue;
        header->SetAttribute(0, name, WMT_TYPE_STRING, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<WORD>((value.size() + 1) * 2));
    }

    WriteDiscCodeAttributes(*header.Get());
    WriteLibraryAttributes(header.Get());

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

namespace {

// A text attribute; empty texts and texts too long for the header give none.
void SetText(IWMHeaderInfo* header, const char16_t* name, std::string_view text, bool add = false) {
    const std::u16string value = WidenText(text);
    if (value.empty() || (value.size() + 1) * 2 > 0xFFFF) return;
    const auto* bytes = reinterpret_cast<const BYTE*>(value.c_str());
    const auto length = static_cast<WORD>((value.size() + 1) * 2);
    ComPtr<IWMHeaderInfo3> many;
    if (add && SUCCEEDED(header->QueryInterface(IID_IWMHeaderInfo3, reinterpret_cast<void**>(many.Put()))) && many) {
        many->AddAttribute(0, name, nullptr, WMT_TYPE_STRING, 0, bytes, length);
    } else {
        header->SetAttribute(0, name, WMT_TYPE_STRING, bytes, length);
    }
}

// One attribute per identifier of a blank-separated list.
void SetEach(IWMHeaderInfo* header, const char16_t* name, const char* list) {
    std::string_view rest = TextOrEmpty(list);
    while (!rest.empty()) {
        const size_t blank = rest.find(' ');
        SetText(header, name, rest.substr(0, blank), /*add=*/true);
        rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
    }
}

// WM/Picture: picture type, data length, MIME type and description (UTF-16
// with terminators), then the image. Too long for SetAttribute's 16-bit
// length, so it goes through IWMHeaderInfo3.
void SetPicture(IWMHeaderInfo* header, const OutputTrackExtras& extras) {
    if (extras.picture == nullptr || extras.pictureBytes == 0 || extras.pictureMime == nullptr) return;
    ComPtr<IWMHeaderInfo3> large;
    if (FAILED(header->QueryInterface(IID_IWMHeaderInfo3, reinterpret_cast<void**>(large.Put()))) || !large) return;
    std::vector<BYTE> value{3};  // front cover
    for (int i = 0; i < 4; ++i) value.push_back(static_cast<BYTE>(extras.pictureBytes >> (8 * i)));
    for (char16_t c : WidenText(extras.pictureMime) + u'\0' + u'\0') {
        value.push_back(static_cast<BYTE>(c));
        value.push_back(static_cast<BYTE>(c >> 8));
    }
    value.insert(value.end(), extras.picture, extras.picture + extras.pictureBytes);
    large->AddAttribute(0, u"WM/Picture", nullptr, WMT_TYPE_BINARY, 0, value.data(), static_cast<DWORD>(value.size()));
}

}  // namespace

// What the FLAC and Ogg files of the same rip carry besides the basic tags,
// under the names Windows Media Player and MusicBrainz Picard use.
void WmaSession::WriteLibraryAttributes(IWMHeaderInfo* header) {
    const OutputTrackExtras& extras = Extras();
    SetText(header, u"WM/AlbumArtist", TextOrEmpty(extras.albumArtist));
    if (extras.discNumber > 0) SetText(header, u"WM/PartOfSet", std::to_string(extras.discNumber));
    if (extras.trackTotal > 0) SetText(header, u"TotalTracks", std::to_string(extras.trackTotal));
    SetEach(header, u"MusicBrainz/Album Id", extras.musicBrainzReleaseId);
    SetEach(header, u"MusicBrainz/Release Group Id", extras.musicBrainzReleaseGroupId);
    SetEach(header, u"MusicBrainz/Album Artist Id", extras.musicBrainzAlbumArtistIds);
    SetEach(header, u"MusicBrainz/Track Id", extras.musicBrainzRecordingId);
    SetEach(header, u"MusicBrainz/Release Track Id", extras.musicBrainzTrackId);
    SetEach(header, u"MusicBrainz/Artist Id", extras.musicBrainzArtistIds);
    SetEach(header, u"MusicBrainz/Disc Id", extras.musicBrainzDiscId);
    // The disc's own catalog number, when it has one, is its barcode.
    if (extras.catalog == nullptr || *extras.catalog == '\0') SetEach(header, u"WM/Barcode", extras.barcode);
    SetPicture(header, extras);
}

int32_t WmaSession::WriteOutput(const uint8_t* pcm, uint32_t byteCount) {
    if (!open) return Fail("no output is open");
    if ((!pcm && byteCount > 0) || byteCount > INT32_MAX) return Fail("a malformed block");
    if (FAILED(writer->AllocateSample(byteCount, sample.Put())) || !sample) return Fail("out of memory");
    // A sample that reports less room than asked for is not written into.
    if (FAILED(sample->GetBufferAndLength(&sampleData, &sampleLength)) || sampleLength < byteCount ||
        (!sampleData && byteCount > 0)) {
        sample.Reset();
        sampleData = nullptr;
        return Fail("the Windows Media writer gave a short sample buffer");
    }
    if (byteCount > 0) std::memcpy(sampleData, pcm, byteCount);
    if (FAILED(sample->SetLength(byteCount))) {
        sample.Reset();
        sampleData = nullptr;
        return Fail("the Windows Media writer refused the sample length");
    }
    errno = 0;
    const HRESULT written = writer->WriteSample(0, static_cast<QWORD>(sampleClock) * 100, 0, sample.Get());
    const int error = errno;
    sample.Reset();
    sampleData = nullptr;
    if (FAILED(written)) {
        return Fail(error != 0 ? "cannot write '" + path_ + "': " + std::strerror(error)
                               : std::string("the Windows Media writer refused the samples"));
    }
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

int32_t WmaSession::RetagOutput(const std::string& fileName, const std::vector<cadrix::plugin::Tag>& tags) {
    ClearError();
    if (open) return Fail("an output is open");
    ComPtr<IWMMetadataEditor> editor;
    if (platform.createEditor == nullptr || FAILED(platform.createEditor(editor.Put())) || !editor) {
        return Fail("the Windows Media metadata editor could not be created");
    }
    const std::u16string wideName = WidenFileName(fileName);
    if (FAILED(editor->Open(reinterpret_cast<LPCWSTR>(wideName.c_str())))) {
        return Fail("cannot read the header of '" + fileName + "'");
    }
    ComPtr<IWMHeaderInfo> header;
    if (FAILED(editor->QueryInterface(IID_IWMHeaderInfo, reinterpret_cast<void**>(header.Put()))) || !header) {
        editor->Close();
        return Fail("the Windows Media metadata editor has no attributes");
    }
    for (const auto& tag : tags) {
        const std::u16string name = WidenText(tag.name);
        const std::u16string value = WidenText(tag.value);
        if ((value.size() + 1) * 2 > 0xFFFF ||
            FAILED(header->SetAttribute(0, name.c_str(), WMT_TYPE_STRING, reinterpret_cast<const BYTE*>(value.c_str()),
                                        static_cast<WORD>((value.size() + 1) * 2)))) {
            editor->Close();
            return Fail("the attribute " + tag.name + " was refused");
        }
    }
    if (FAILED(editor->Flush())) {
        editor->Close();
        return Fail("cannot write '" + fileName + "'");
    }
    return 1;
}
