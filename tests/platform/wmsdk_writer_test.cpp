// The writer stand-in: the ASF file it writes, its state rules, its sample
// buffers and how failures of the encoding thread come out.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "com_ptr.h"
#include "temp_dir.h"
#include "wm_writer.h"
#include "wmsdk.h"
#include "wmsdk_test_profile.h"

namespace fs = std::filesystem;

namespace {

using cadrix::test::TempDir;
using wmsdk_test::kProfileCbr128;
using wmsdk_test::Replace;

ComPtr<IWMProfile> LoadProfile(const std::string& text) {
    ComPtr<IWMProfileManager> manager;
    ComPtr<IWMProfile> profile;
    if (SUCCEEDED(WMCreateProfileManager(manager.Put()))) {
        const std::u16string wide(text.begin(), text.end());
        manager->LoadProfileByData(wide.c_str(), profile.Put());
    }
    return profile;
}

ComPtr<IWMWriter> ConfiguredWriter(const fs::path& file, const std::string& profileText = kProfileCbr128) {
    ComPtr<IWMWriter> writer;
    if (FAILED(WMCreateWriter(nullptr, writer.Put()))) return {};
    ComPtr<IWMProfile> profile = LoadProfile(profileText);
    const std::string name = file.string();
    const std::u16string wide(name.begin(), name.end());
    if (!profile || FAILED(writer->SetProfile(profile.Get())) || FAILED(writer->SetOutputFilename(wide.c_str())))
        return {};
    return writer;
}

ComPtr<IWMHeaderInfo> HeaderOf(const ComPtr<IWMWriter>& writer) {
    ComPtr<IWMHeaderInfo> header;
    writer->QueryInterface(IID_IWMHeaderInfo, reinterpret_cast<void**>(header.Put()));
    return header;
}

HRESULT SetString(IWMHeaderInfo* header, const char16_t* name, const std::u16string& value) {
    return header->SetAttribute(0, name, WMT_TYPE_STRING, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<WORD>((value.size() + 1) * 2));
}

HRESULT WriteBlock(IWMWriter* writer, DWORD bytes, QWORD time, uint32_t seed = 1) {
    ComPtr<INSSBuffer> sample;
    HRESULT hr = writer->AllocateSample(bytes, sample.Put());
    if (FAILED(hr)) return hr;
    BYTE* data;
    DWORD length;
    sample->GetBufferAndLength(&data, &length);
    for (DWORD i = 0; i + 1 < length; i += 2) {
        const auto v = static_cast<int16_t>(8000 * std::sin((i / 4 + seed) * 0.03));
        data[i] = static_cast<BYTE>(v);
        data[i + 1] = static_cast<BYTE>(v >> 8);
    }
    return writer->WriteSample(0, time, 0, sample.Get());
}

// A minimal ASF reader for the checks below.
struct Reader {
    const std::vector<uint8_t>& b;
    size_t at = 0;
    uint64_t Le(int n) {
        uint64_t v = 0;
        for (int i = 0; i < n; ++i) v |= uint64_t(b.at(at + i)) << (8 * i);
        at += n;
        return v;
    }
    std::string Guid() {
        char s[40];
        const uint64_t d1 = Le(4), d2 = Le(2), d3 = Le(2);
        std::snprintf(s, sizeof s, "%08llX-%04llX-%04llX-", (unsigned long long)d1, (unsigned long long)d2,
                      (unsigned long long)d3);
        std::string out = s;
        for (int i = 0; i < 8; ++i) {
            std::snprintf(s, sizeof s, "%02X", b.at(at + i));
            out += s;
            if (i == 1) out += '-';
        }
        at += 8;
        return out;
    }
    std::u16string Text(size_t bytes) {
        std::u16string s;
        for (size_t i = 0; i + 2 <= bytes; i += 2) s += static_cast<char16_t>(Le(2));
        if (!s.empty() && s.back() == 0) s.pop_back();
        return s;
    }
};

struct AsfFile {
    std::map<std::string, std::pair<size_t, size_t>> objects;  // header sub-object GUID -> offset, size
    uint64_t fileSizeField = 0, packetCount = 0, playDuration = 0, sendDuration = 0, preroll = 0;
    uint32_t flags = 0, packetSize = 0;
    uint16_t formatTag = 0, blockAlign = 0;
    uint32_t avgBytes = 0;
    std::vector<uint8_t> codecData;
    std::u16string title;
    std::map<std::u16string, std::pair<uint16_t, std::vector<uint8_t>>> extended;
    size_t dataStart = 0;
    uint64_t dataSize = 0, dataPackets = 0;
    std::vector<std::pair<uint32_t, uint16_t>> index;
    std::vector<size_t> mediaObjectSizes;  // reassembled from the payloads
    bool payloadsConsistent = true;
};

// One header object's fields that the tests look at.
void ParseHeaderObject(const std::vector<uint8_t>& bytes, Reader& r, const std::string& guid, AsfFile& f) {
    if (guid == "8CABDCA1-A947-11CF-8EE4-00C00C205365") {
        r.Guid();
        f.fileSizeField = r.Le(8);
        r.Le(8);
        f.packetCount = r.Le(8);
        f.playDuration = r.Le(8);
        f.sendDuration = r.Le(8);
        f.preroll = r.Le(8);
        f.flags = static_cast<uint32_t>(r.Le(4));
        f.packetSize = static_cast<uint32_t>(r.Le(4));
        EXPECT_EQ(r.Le(4), f.packetSize);
    } else if (guid == "B7DC0791-A9B7-11CF-8EE6-00C00C205365") {
        r.at += 16 + 16 + 8 + 4 + 4 + 2 + 4;
        f.formatTag = static_cast<uint16_t>(r.Le(2));
        r.Le(2);
        r.Le(4);
        f.avgBytes = static_cast<uint32_t>(r.Le(4));
        f.blockAlign = static_cast<uint16_t>(r.Le(2));
        r.Le(2);
        const size_t extra = r.Le(2);
        f.codecData.assign(bytes.begin() + r.at, bytes.begin() + r.at + extra);
    } else if (guid == "75B22633-668E-11CF-A6D9-00AA0062CE6C") {
        const size_t titleBytes = r.Le(2);
        r.at += 8;
        f.title = r.Text(titleBytes);
    } else if (guid == "D2D0A440-E307-11D2-97F0-00A0C95EA850") {
        const size_t n = r.Le(2);
        for (size_t k = 0; k < n; ++k) {
            const std::u16string name = r.Text(r.Le(2));
            const auto type = static_cast<uint16_t>(r.Le(2));
            const size_t length = r.Le(2);
            f.extended[name] = {type, std::vector<uint8_t>(bytes.begin() + r.at, bytes.begin() + r.at + length)};
            r.at += length;
        }
    }
}

// The data packets: their payloads must continue each media object in order.
void ParsePackets(const std::vector<uint8_t>& bytes, AsfFile& f) {
    size_t expectOffset = 0, objectSize = 0;
    int objectNumber = -1;
    for (uint64_t p = 0; p < f.dataPackets && f.packetSize > 0; ++p) {
        Reader pr{bytes, f.dataStart + p * f.packetSize};
        if (pr.Le(1) != 0x82) f.payloadsConsistent = false;
        pr.at += 2;
        const auto lengthFlags = pr.Le(1);
        pr.Le(1);
        const size_t padding = lengthFlags == 0x11 ? pr.Le(2) : 0;
        pr.Le(4);
        pr.Le(2);
        const size_t payloads = pr.Le(1) & 0x3F;
        for (size_t k = 0; k < payloads; ++k) {
            pr.Le(1);
            const int number = static_cast<int>(pr.Le(1));
            const size_t offset = pr.Le(4);
            pr.Le(1);
            const size_t size = pr.Le(4);
            pr.Le(4);
            const size_t length = pr.Le(2);
            pr.at += length;
            if (offset == 0) {
                if (objectNumber >= 0 && expectOffset != objectSize) f.payloadsConsistent = false;
                objectNumber = number;
                objectSize = size;
                expectOffset = 0;
                f.mediaObjectSizes.push_back(size);
            }
            if (number != objectNumber || offset != expectOffset) f.payloadsConsistent = false;
            expectOffset += length;
        }
        if (pr.at + padding != f.dataStart + (p + 1) * f.packetSize) f.payloadsConsistent = false;
    }
    if (expectOffset != objectSize) f.payloadsConsistent = false;
}

void ParseIndex(const std::vector<uint8_t>& bytes, AsfFile& f) {
    Reader ir{bytes, f.dataStart + f.dataPackets * f.packetSize};
    EXPECT_EQ(ir.Guid(), "33000890-E5B1-11CF-89F4-00A0C90349CB");
    const uint64_t indexSize = ir.Le(8);
    ir.Guid();
    EXPECT_EQ(ir.Le(8), 10'000'000u);
    ir.Le(4);
    const uint64_t entries = ir.Le(4);
    for (uint64_t i = 0; i < entries; ++i) {
        const auto packet = static_cast<uint32_t>(ir.Le(4));
        f.index.emplace_back(packet, static_cast<uint16_t>(ir.Le(2)));
    }
    EXPECT_EQ(ir.at, f.dataStart + f.dataPackets * f.packetSize + indexSize);
    EXPECT_EQ(ir.at, bytes.size());
}

AsfFile Parse(const std::vector<uint8_t>& bytes) {
    AsfFile f;
    Reader r{bytes};
    EXPECT_EQ(r.Guid(), "75B22630-668E-11CF-A6D9-00AA0062CE6C");
    const uint64_t headerSize = r.Le(8);
    const uint64_t count = r.Le(4);
    r.at += 2;
    for (uint64_t i = 0; i < count; ++i) {
        const size_t start = r.at;
        const std::string guid = r.Guid();
        const uint64_t size = r.Le(8);
        f.objects[guid] = {start, size};
        ParseHeaderObject(bytes, r, guid, f);
        r.at = start + size;
    }
    EXPECT_EQ(r.at, headerSize);
    EXPECT_EQ(r.Guid(), "75B22636-668E-11CF-A6D9-00AA0062CE6C");
    f.dataSize = r.Le(8);
    r.Guid();
    f.dataPackets = r.Le(8);
    r.at += 2;
    f.dataStart = r.at;
    ParsePackets(bytes, f);
    ParseIndex(bytes, f);
    return f;
}

std::vector<uint8_t> ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(WmsdkWriter, WritesACompleteAsfFile) {
    TempDir dir;
    const fs::path file = dir / "t.wma";
    ComPtr<IWMWriter> writer = ConfiguredWriter(file);
    ASSERT_TRUE(writer);
    ComPtr<IWMHeaderInfo> header = HeaderOf(writer);
    ASSERT_TRUE(header);
    EXPECT_EQ(SetString(header.Get(), u"Title", u"A \U0001D11E title"), S_OK);
    EXPECT_EQ(SetString(header.Get(), u"WM/AlbumTitle", u"Old"), S_OK);
    EXPECT_EQ(SetString(header.Get(), u"WM/AlbumTitle", u"Album"), S_OK);  // replaces
    const DWORD track = 4;
    EXPECT_EQ(header->SetAttribute(0, u"WM/Track", WMT_TYPE_DWORD, reinterpret_cast<const BYTE*>(&track), 4), S_OK);
    ASSERT_EQ(writer->BeginWriting(), S_OK);
    // 2.5 s in blocks of 27 CD frames and a short last block.
    const DWORD blocks[] = {63504, 63504, 63504, 63504, 63504, 63504, 22680};
    uint64_t bytes = 0;
    for (DWORD b : blocks) {
        ASSERT_EQ(WriteBlock(writer.Get(), b, bytes * 10'000'000 / 176400), S_OK);
        bytes += b;
    }
    ASSERT_EQ(writer->EndWriting(), S_OK);
    EXPECT_EQ(writer->EndWriting(), E_UNEXPECTED);
    header.Reset();
    writer.Reset();

    const std::vector<uint8_t> content = ReadAll(file);
    const AsfFile f = Parse(content);
    EXPECT_EQ(f.fileSizeField, content.size());
    EXPECT_EQ(f.packetCount, f.dataPackets);
    EXPECT_EQ(f.dataSize, 50 + f.dataPackets * f.packetSize);
    EXPECT_EQ(f.flags, 2u);  // seekable
    EXPECT_EQ(f.preroll, 3100u);
    const uint64_t samples = bytes / 4;
    EXPECT_EQ(f.sendDuration, (samples * 10'000'000 + 22050) / 44100);
    EXPECT_EQ(f.playDuration, f.sendDuration + 3100 * 10'000);
    EXPECT_EQ(f.formatTag, 0x0161);
    EXPECT_EQ(f.avgBytes, 16002u);
    EXPECT_EQ(f.blockAlign, 743);
    EXPECT_EQ(f.codecData.size(), 10u);
    EXPECT_EQ(f.title, u"A \U0001D11E title");
    EXPECT_TRUE(f.objects.count("5FBF03B5-A92E-11CF-8EE3-00C00C205365"));  // header extension
    ASSERT_TRUE(f.extended.count(u"WM/Track"));
    EXPECT_EQ(f.extended.at(u"WM/Track").first, 3);  // DWORD
    EXPECT_EQ(f.extended.at(u"WM/Track").second, (std::vector<uint8_t>{4, 0, 0, 0}));
    EXPECT_EQ(f.extended.at(u"WM/AlbumTitle").first, 0);
    EXPECT_EQ(f.extended.at(u"WM/AlbumTitle").second,
              (std::vector<uint8_t>{'A', 0, 'l', 0, 'b', 0, 'u', 0, 'm', 0, 0, 0}));
    EXPECT_FALSE(f.extended.count(u"Title"));  // only in the content description

    // One frame of priming silence, the audio padded to whole frames, one frame of flush.
    EXPECT_TRUE(f.payloadsConsistent);
    EXPECT_EQ(f.mediaObjectSizes.size(), (2048 + samples + 2047) / 2048 + 1);
    for (size_t s : f.mediaObjectSizes) EXPECT_EQ(s, 743u);
    EXPECT_EQ(f.index.size(), (f.sendDuration + 31'000'000) / 10'000'000 + 1);
    for (auto [packet, count] : f.index) {
        EXPECT_LT(packet, f.dataPackets);
        EXPECT_GE(count, 1);
    }
    EXPECT_EQ(f.index.front().first, 0u);
    EXPECT_GT(f.index.back().first, 0u);
}

// The lossless encoder, on the writer's thread.
TEST(WmsdkWriter, LosslessProfileWritesOneWmaPacketPerAsfPacket) {
    TempDir dir;
    std::string lossless = Replace(Replace(kProfileCbr128, "{00000161-", "{00000163-"), R"(wFormatTag="353")",
                                   R"(wFormatTag="355")");
    lossless = Replace(Replace(lossless, R"(nBlockAlign="5945")", R"(nBlockAlign="13375")"),
                       R"(codecdata="008800000F00E55C0000")", R"(codecdata="100003000000000000000000000021000000")");
    ComPtr<IWMWriter> writer = ConfiguredWriter(dir / "l.wma", lossless);
    ASSERT_TRUE(writer);
    ASSERT_EQ(writer->BeginWriting(), S_OK);
    for (int i = 0; i < 8; ++i) ASSERT_EQ(WriteBlock(writer.Get(), 63504, 0, i), S_OK);
    ASSERT_EQ(writer->EndWriting(), S_OK);
    writer.Reset();
    const std::vector<uint8_t> content = ReadAll(dir / "l.wma");
    const AsfFile f = Parse(content);
    EXPECT_EQ(f.fileSizeField, content.size());
    EXPECT_EQ(f.formatTag, 0x0163);
    EXPECT_EQ(f.blockAlign, 13375);
    EXPECT_EQ(f.packetSize, 13375u + 31);
    EXPECT_EQ(f.codecData.size(), 18u);
    EXPECT_TRUE(f.payloadsConsistent);
    EXPECT_EQ(f.mediaObjectSizes.size(), f.dataPackets);
    for (size_t s : f.mediaObjectSizes) EXPECT_EQ(s, 13375u);
    EXPECT_EQ(f.sendDuration, (8 * 63504 / 4 * 10'000'000ull + 22050) / 44100);
    for (auto [packet, count] : f.index) EXPECT_LT(packet, f.dataPackets);
}

TEST(WmsdkWriter, QualityProfilesKeepTheProfilesSuperframeSize) {
    TempDir dir;
    const std::string q98 = Replace(kProfileCbr128, R"(rfc1766langid="en-us")",
                                    R"(rfc1766langid="en-us" vbrenabled="1" vbrquality="98")");
    ComPtr<IWMWriter> writer = ConfiguredWriter(dir / "q.wma", q98);
    ASSERT_TRUE(writer);
    ASSERT_EQ(writer->BeginWriting(), S_OK);
    ASSERT_EQ(WriteBlock(writer.Get(), 63504, 0), S_OK);
    ASSERT_EQ(writer->EndWriting(), S_OK);
    writer.Reset();
    const AsfFile f = Parse(ReadAll(dir / "q.wma"));
    EXPECT_EQ(f.blockAlign, 5945);
    EXPECT_TRUE(f.payloadsConsistent);
}

TEST(WmsdkWriter, RefusesCallsOutOfOrderAndUnsupportedProfiles) {
    TempDir dir;
    ComPtr<IWMWriter> writer;
    EXPECT_EQ(WMCreateWriter(reinterpret_cast<IUnknown*>(1), writer.Put()), E_INVALIDARG);
    ASSERT_EQ(WMCreateWriter(nullptr, writer.Put()), S_OK);
    EXPECT_EQ(writer->BeginWriting(), E_UNEXPECTED);  // no profile, no file name
    EXPECT_EQ(WriteBlock(writer.Get(), 4, 0), E_UNEXPECTED);
    EXPECT_EQ(writer->EndWriting(), E_UNEXPECTED);

    const std::string lossless = Replace(Replace(kProfileCbr128, "{00000161-", "{00000163-"), R"(wFormatTag="353")",
                                         R"(wFormatTag="355")");
    ComPtr<IWMProfile> profile = LoadProfile(lossless);
    ASSERT_TRUE(profile);
    EXPECT_EQ(writer->SetProfile(profile.Get()), E_NOTIMPL);
    profile = LoadProfile(Replace(kProfileCbr128, R"(nChannels="2")", R"(nChannels="1")"));
    EXPECT_EQ(writer->SetProfile(profile.Get()), E_NOTIMPL);
    profile = LoadProfile(Replace(kProfileCbr128, R"(bitrate="128016")", R"(bitrate="8000")"));
    EXPECT_EQ(writer->SetProfile(profile.Get()), E_INVALIDARG);
    EXPECT_EQ(writer->SetProfile(nullptr), E_INVALIDARG);
    EXPECT_TRUE(fs::is_empty(dir.path()));

    writer = ConfiguredWriter(dir / "o.wma");
    ComPtr<IWMHeaderInfo> header = HeaderOf(writer);
    const DWORD value = 1;
    const auto* bytes = reinterpret_cast<const BYTE*>(&value);
    EXPECT_EQ(header->SetAttribute(1, u"WM/Track", WMT_TYPE_DWORD, bytes, 4), E_INVALIDARG);
    EXPECT_EQ(header->SetAttribute(0, u"WM/Track", WMT_TYPE_DWORD, bytes, 3), E_INVALIDARG);
    EXPECT_EQ(header->SetAttribute(0, u"Title", WMT_TYPE_DWORD, bytes, 4), E_INVALIDARG);
    EXPECT_EQ(header->SetAttribute(0, u"", WMT_TYPE_DWORD, bytes, 4), E_INVALIDARG);
    EXPECT_EQ(header->SetAttribute(0, u"X", WMT_TYPE_STRING, bytes, 3), E_INVALIDARG);
    ASSERT_EQ(writer->BeginWriting(), S_OK);
    EXPECT_EQ(header->SetAttribute(0, u"WM/Track", WMT_TYPE_DWORD, bytes, 4), E_UNEXPECTED);
    EXPECT_EQ(writer->SetOutputFilename(u"/tmp/other.wma"), E_UNEXPECTED);
    EXPECT_EQ(writer->BeginWriting(), E_UNEXPECTED);
    ComPtr<INSSBuffer> sample;
    ASSERT_EQ(writer->AllocateSample(8, sample.Put()), S_OK);
    EXPECT_EQ(writer->WriteSample(1, 0, 0, sample.Get()), E_INVALIDARG);
    EXPECT_EQ(writer->WriteSample(0, 0, 0, nullptr), E_POINTER);
    EXPECT_EQ(writer->EndWriting(), S_OK);
}

// Texts are stored with 16-bit byte lengths that include the terminator:
// 32,766 units fit, a value of 32,767 units without its own terminator does not.
TEST(WmsdkWriter, TextsWhoseLengthWouldNotFitSixteenBitsAreRefused) {
    TempDir dir;
    ComPtr<IWMWriter> writer = ConfiguredWriter(dir / "l.wma");
    ASSERT_TRUE(writer);
    ComPtr<IWMHeaderInfo> header = HeaderOf(writer);
    ASSERT_TRUE(header);
    const std::u16string tooLong(32767, u'x');
    for (const char16_t* name : {u"Title", u"WM/AlbumTitle"}) {
        EXPECT_EQ(header->SetAttribute(0, name, WMT_TYPE_STRING, reinterpret_cast<const BYTE*>(tooLong.data()),
                                       static_cast<WORD>(tooLong.size() * 2)),
                  E_INVALIDARG);
    }
    const std::u16string longest(32766, u'y');
    EXPECT_EQ(SetString(header.Get(), u"Title", longest), S_OK);
    EXPECT_EQ(SetString(header.Get(), u"WM/AlbumTitle", longest), S_OK);
    ASSERT_EQ(writer->BeginWriting(), S_OK);
    ASSERT_EQ(writer->EndWriting(), S_OK);
    header.Reset();
    writer.Reset();

    const std::vector<uint8_t> content = ReadAll(dir / "l.wma");
    const AsfFile f = Parse(content);
    EXPECT_EQ(f.title, longest);
    ASSERT_TRUE(f.extended.count(u"WM/AlbumTitle"));
    EXPECT_EQ(f.extended.at(u"WM/AlbumTitle").second.size(), 65534u);
    EXPECT_EQ(f.fileSizeField, content.size());
}

TEST(WmsdkWriter, ReusesIdleSampleBuffersOnly) {
    TempDir dir;
    ComPtr<IWMWriter> writer = ConfiguredWriter(dir / "s.wma");
    ASSERT_TRUE(writer);
    ComPtr<INSSBuffer> first, second;
    ASSERT_EQ(writer->AllocateSample(63504, first.Put()), S_OK);
    INSSBuffer* const firstAddress = first.Get();
    // Held by the caller: a second sample is another buffer.
    ASSERT_EQ(writer->AllocateSample(2352, second.Put()), S_OK);
    EXPECT_NE(second.Get(), firstAddress);
    DWORD length = 0, max = 0;
    second->GetLength(&length);
    second->GetMaxLength(&max);
    EXPECT_EQ(length, 2352u);
    EXPECT_GE(max, 2352u);
    EXPECT_EQ(second->SetLength(max + 1), E_INVALIDARG);
    first.Reset();
    ASSERT_EQ(writer->AllocateSample(1000, first.Put()), S_OK);
    EXPECT_EQ(first.Get(), firstAddress);
    first->GetLength(&length);
    EXPECT_EQ(length, 1000u);
}

TEST(WmsdkWriter, AFileThatTakesNothingFailsAtOnceWithItsReason) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    TempDir dir;
    const fs::path link = dir / "full.wma";
    fs::create_symlink("/dev/full", link);
    ComPtr<IWMWriter> writer = ConfiguredWriter(link);
    ASSERT_TRUE(writer);
    // Writes are not buffered: the header's write fails, and says why.
    errno = 0;
    EXPECT_EQ(writer->BeginWriting(), E_WRITE_FAULT);
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(WriteBlock(writer.Get(), 63504, 0), E_UNEXPECTED);
    EXPECT_EQ(writer->EndWriting(), E_UNEXPECTED);
}

TEST(WmsdkWriter, ReleasingWhileWritingStillFinishesTheFile) {
    TempDir dir;
    {
        ComPtr<IWMWriter> writer = ConfiguredWriter(dir / "r.wma");
        ASSERT_TRUE(writer);
        ASSERT_EQ(writer->BeginWriting(), S_OK);
        for (int i = 0; i < 3; ++i) ASSERT_EQ(WriteBlock(writer.Get(), 63504, 0, i), S_OK);
    }
    const std::vector<uint8_t> content = ReadAll(dir / "r.wma");
    const AsfFile f = Parse(content);
    EXPECT_EQ(f.fileSizeField, content.size());
    EXPECT_GT(f.dataPackets, 0u);
    EXPECT_TRUE(f.payloadsConsistent);
}

TEST(WmsdkCom, InitialisationCountsPerThread) {
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    CoUninitialize();
}

}  // namespace
