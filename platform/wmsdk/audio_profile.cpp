#include "audio_profile.h"

#include <expat.h>

#include <charconv>
#include <limits>
#include <memory>

namespace wmsdk {
namespace {

// The media type GUIDs share this tail; the first group is the FOURCC or format tag.
constexpr GUID kMediaTypeAudio{0x73647561, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

// Profiles are single short lines; anything much longer is not one.
constexpr size_t kMaxProfileBytes = 64 * 1024;

template <class T>
bool ParseInteger(std::string_view text, T min, T max, T& out) {
    if (text.empty() || text.front() == '+') return false;
    long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return false;
    if (value < static_cast<long long>(min) || value > static_cast<long long>(max)) return false;
    out = static_cast<T>(value);
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseHexBytes(std::string_view text, std::vector<uint8_t>& out) {
    if (text.size() % 2 != 0) return false;
    out.clear();
    for (size_t i = 0; i < text.size(); i += 2) {
        const int hi = HexDigit(text[i]);
        const int lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    return true;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
bool ParseGuid(std::string_view text, GUID& out) {
    if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
    std::string_view s = text.substr(1, 36);
    if (s[8] != '-' || s[13] != '-' || s[18] != '-' || s[23] != '-') return false;
    std::vector<uint8_t> b;
    std::vector<uint8_t> part;
    for (auto [pos, len] : {std::pair{0, 8}, {9, 4}, {14, 4}, {19, 4}, {24, 12}}) {
        if (!ParseHexBytes(s.substr(pos, len), part)) return false;
        b.insert(b.end(), part.begin(), part.end());
    }
    out.Data1 = (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
    out.Data2 = static_cast<uint16_t>((b[4] << 8) | b[5]);
    out.Data3 = static_cast<uint16_t>((b[6] << 8) | b[7]);
    for (int i = 0; i < 8; ++i) out.Data4[i] = b[8 + i];
    return true;
}

enum class Level { Document, Profile, StreamConfig, MediaType, WaveFormat, Done };

class ProfileReader {
public:
    explicit ProfileReader(XML_Parser parser) : parser_(parser) {}

    void Start(const char* element, const char** attributes) {
        if (failed_) return;
        const std::string_view name(element);
        bool ok = false;
        switch (level_) {
            case Level::Document:
                ok = name == "profile" && ReadProfile(attributes);
                level_ = Level::Profile;
                break;
            case Level::Profile:
                ok = name == "streamconfig" && !seenStream_ && ReadStream(attributes);
                seenStream_ = true;
                level_ = Level::StreamConfig;
                break;
            case Level::StreamConfig:
                ok = name == "wmmediatype" && !seenType_ && ReadMediaType(attributes);
                seenType_ = true;
                level_ = Level::MediaType;
                break;
            case Level::MediaType:
                ok = name == "waveformatex" && !seenFormat_ && ReadWaveFormat(attributes);
                seenFormat_ = true;
                level_ = Level::WaveFormat;
                break;
            case Level::WaveFormat:
            case Level::Done: ok = false; break;
        }
        if (!ok) Fail();
    }

    void End() {
        if (failed_) return;
        switch (level_) {
            case Level::WaveFormat: level_ = Level::MediaType; break;
            case Level::MediaType: level_ = seenFormat_ ? Level::StreamConfig : Fail(); break;
            case Level::StreamConfig: level_ = seenType_ ? Level::Profile : Fail(); break;
            case Level::Profile: level_ = seenStream_ ? Level::Done : Fail(); break;
            case Level::Document:
            case Level::Done: Fail(); break;
        }
    }

    void Text(std::string_view text) {
        for (char c : text)
            if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return Fail_();
    }

    Level Fail() {
        Fail_();
        return level_;
    }

    bool Complete() const { return !failed_ && level_ == Level::Done && Consistent(); }
    AudioProfile& Result() { return profile_; }

private:
    void Fail_() {
        if (!failed_) XML_StopParser(parser_, XML_FALSE);
        failed_ = true;
    }

    static const char* Find(const char** attributes, std::string_view key) {
        for (int i = 0; attributes[i]; i += 2)
            if (key == attributes[i]) return attributes[i + 1];
        return nullptr;
    }

    template <class T>
    static bool Number(const char** a, std::string_view key, T min, T max, T& out, bool required = true) {
        const char* v = Find(a, key);
        if (!v) return !required;
        return ParseInteger<T>(v, min, max, out);
    }

    bool ReadProfile(const char** a) {
        const char* name = Find(a, "name");
        const char* description = Find(a, "description");
        profile_.name = name ? name : "";
        profile_.description = description ? description : "";
        uint32_t storage = 1;
        return Number<uint32_t>(a, "version", 0, UINT32_MAX, profile_.version) &&
               Number<uint32_t>(a, "storageformat", 0, 1, storage, false);
    }

    bool ReadStream(const char** a) {
        GUID major{};
        const char* majorText = Find(a, "majortype");
        if (!majorText || !ParseGuid(majorText, major) || major != kMediaTypeAudio) return false;
        uint32_t reliable = 0, vbr = 0, bitrateMax = 0;
        int32_t bufferWindowMax = 0;
        if (!Number<uint16_t>(a, "streamnumber", 1, 63, profile_.streamNumber) ||
            !Number<uint32_t>(a, "bitrate", 1, UINT32_MAX, profile_.bitrate) ||
            !Number<int32_t>(a, "bufferwindow", -1, INT32_MAX, profile_.bufferWindow, false) ||
            !Number<uint32_t>(a, "reliabletransport", 0, 1, reliable, false) ||
            !Number<uint32_t>(a, "vbrenabled", 0, 1, vbr, false) ||
            !Number<uint32_t>(a, "vbrquality", 0, 100, profile_.vbrQuality, false) ||
            !Number<uint32_t>(a, "bitratemax", 0, UINT32_MAX, bitrateMax, false) ||
            !Number<int32_t>(a, "bufferwindowmax", -1, INT32_MAX, bufferWindowMax, false))
            return false;
        profile_.vbrEnabled = vbr == 1;
        return !profile_.vbrEnabled || Find(a, "vbrquality");
    }

    bool ReadMediaType(const char** a) {
        const char* subtype = Find(a, "subtype");
        uint32_t fixed = 1, temporal = 0, sampleSize = 0;
        return subtype && ParseGuid(subtype, profile_.subtype) &&
               Number<uint32_t>(a, "bfixedsizesamples", 0, 1, fixed, false) &&
               Number<uint32_t>(a, "btemporalcompression", 0, 1, temporal, false) &&
               Number<uint32_t>(a, "lsamplesize", 0, UINT32_MAX, sampleSize, false);
    }

    bool ReadWaveFormat(const char** a) {
        const char* codecData = Find(a, "codecdata");
        if (codecData && !ParseHexBytes(codecData, profile_.codecData)) return false;
        return Number<uint16_t>(a, "wFormatTag", 1, UINT16_MAX, profile_.formatTag) &&
               Number<uint16_t>(a, "nChannels", 1, 8, profile_.channels) &&
               Number<uint32_t>(a, "nSamplesPerSec", 1, 192000, profile_.samplesPerSec) &&
               Number<uint32_t>(a, "nAvgBytesPerSec", 0, UINT32_MAX, profile_.avgBytesPerSec) &&
               Number<uint16_t>(a, "nBlockAlign", 0, UINT16_MAX, profile_.blockAlign) &&
               Number<uint16_t>(a, "wBitsPerSample", 8, 32, profile_.bitsPerSample) &&
               profile_.codecData.size() <= 1024;
    }

    // The subtype is the format tag in the media type GUID pattern.
    bool Consistent() const {
        GUID expected = kMediaTypeAudio;
        expected.Data1 = profile_.formatTag;
        return profile_.subtype == expected;
    }

    XML_Parser parser_;
    AudioProfile profile_;
    Level level_ = Level::Document;
    bool seenStream_ = false, seenType_ = false, seenFormat_ = false;
    bool failed_ = false;
};

struct ParserDeleter {
    void operator()(XML_Parser p) const { XML_ParserFree(p); }
};

}  // namespace

std::optional<AudioProfile> ParseAudioProfile(std::string_view xml) {
    if (xml.empty() || xml.size() > kMaxProfileBytes) return std::nullopt;
    std::unique_ptr<std::remove_pointer_t<XML_Parser>, ParserDeleter> parser(XML_ParserCreate("UTF-8"));
    if (!parser) return std::nullopt;
    ProfileReader reader(parser.get());
    XML_SetUserData(parser.get(), &reader);
    XML_SetElementHandler(
        parser.get(),
        [](void* r, const XML_Char* name, const XML_Char** attrs) {
            static_cast<ProfileReader*>(r)->Start(name, attrs);
        },
        [](void* r, const XML_Char*) { static_cast<ProfileReader*>(r)->End(); });
    XML_SetCharacterDataHandler(parser.get(), [](void* r, const XML_Char* s, int len) {
        static_cast<ProfileReader*>(r)->Text(std::string_view(s, static_cast<size_t>(len)));
    });
    // A profile has no use for a DTD; refusing one also rules out entity expansion.
    XML_SetStartDoctypeDeclHandler(parser.get(), [](void* r, const XML_Char*, const XML_Char*, const XML_Char*, int) {
        static_cast<ProfileReader*>(r)->Fail();
    });
    if (XML_Parse(parser.get(), xml.data(), static_cast<int>(xml.size()), XML_TRUE) != XML_STATUS_OK)
        return std::nullopt;
    if (!reader.Complete()) return std::nullopt;
    return std::move(reader.Result());
}

}  // namespace wmsdk
