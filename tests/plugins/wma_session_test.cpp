// The WMA plug-in's session against a fake writer: profile choice, time
// stamps, header attributes, file name and every failure path.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "audio_profile.h"
#include "com_ptr.h"
#include "wma_fake_writer.h"
#include "wma_profile_table.h"
#include "wma_session.h"

namespace {

std::u16string ProfileName(const std::u16string& text) {
    const size_t at = text.find(u"name=\"");
    return at == std::u16string::npos ? u"" : text.substr(at + 6, 2);
}

uint32_t Dword(const FakeAttribute& a) {
    uint32_t v = 0;
    std::memcpy(&v, a.value.data(), std::min<size_t>(4, a.value.size()));
    return v;
}

std::u16string Text(const FakeAttribute& a) {
    std::u16string s(a.value.size() / 2, u'\0');
    std::memcpy(s.data(), a.value.data(), s.size() * 2);
    return s;
}

class WmaSessionTest : public ::testing::Test {
protected:
    FakeSdk sdk;
    WmaPlatform platform = sdk.Install();
    WmaSession session{platform};
    OutputTrackInfo info{1, "Title", "Artist", "Album", "Genre", "1999", "Region", ""};
    std::vector<uint8_t> block = std::vector<uint8_t>(63504, 0x5A);

    int32_t Open(int32_t quality = 5) { return session.OpenOutput("/music/Disc/01 - Song", quality, &info); }
};

TEST(WmaProfileChoice, QualityCodesSelectTheirProfiles) {
    const std::pair<int32_t, int> cases[] = {
        {0, 0},     {9, 9},     {12, 5},    {0x40, 10}, {0x45, 15}, {0x47, 13},
        {0x80, 16}, {0x83, 16}, {0xC0, 10}, {0x30, 0},  {0x105, 5}, {0x4F, 13},
    };
    for (auto [code, index] : cases) EXPECT_EQ(ChooseProfileIndex(code), index) << "code " << code;
}

TEST(WmaProfileTable, EverySlotLoadsInTheWritersProfileManager) {
    ComPtr<IWMProfileManager> manager;
    ASSERT_EQ(WMCreateProfileManager(manager.Put()), S_OK);
    const uint32_t vbrQualities[] = {10, 25, 50, 75, 90, 98, 100};
    for (int i = 0; i < WMA_PROFILE_COUNT; ++i) {
        SCOPED_TRACE(i);
        const char* slot = WmaProfileTable[i];
        const size_t length = strnlen(slot, WMA_PROFILE_SLOT_SIZE);
        EXPECT_LE(length, 734u);
        for (size_t k = length; k < WMA_PROFILE_SLOT_SIZE; ++k) ASSERT_EQ(slot[k], 0);
        const auto profile = wmsdk::ParseAudioProfile(std::string_view(slot, length));
        ASSERT_TRUE(profile);
        char name[8];
        std::snprintf(name, sizeof name, "%02d", i);
        EXPECT_EQ(profile->name, name);
        EXPECT_EQ(profile->vbrEnabled, i >= 10);
        if (i >= 10) {
            EXPECT_EQ(profile->vbrQuality, vbrQualities[i - 10]);
        }
        EXPECT_EQ(profile->formatTag, i == 16 ? 0x0163 : 0x0161);
        EXPECT_EQ(profile->channels, 2);
        EXPECT_EQ(profile->samplesPerSec, 44100u);
    }
    EXPECT_EQ(wmsdk::ParseAudioProfile(WmaProfileTable[5])->bitrate, 128016u);
    EXPECT_EQ(wmsdk::ParseAudioProfile(WmaProfileTable[9])->bitrate, 320008u);
}

TEST_F(WmaSessionTest, LoadsTheChosenProfileWidenedWithItsPadding) {
    for (auto [code, name] : {std::pair{0, u"00"}, {12, u"05"}, {0x47, u"13"}, {0x105, u"05"}}) {
        ASSERT_EQ(Open(code), 1);
        EXPECT_EQ(ProfileName(sdk.loadedProfile), name);
        session.CloseOutput();
    }
    const std::string slot(WmaProfileTable[5], WMA_PROFILE_SLOT_SIZE);
    EXPECT_EQ(sdk.loadedProfile, std::u16string(slot.begin(), slot.end()));
}

TEST_F(WmaSessionTest, StampsBlocksWithTheirPresentationTime) {
    ASSERT_EQ(Open(), 1);
    for (int i = 0; i < 4; ++i) ASSERT_EQ(session.WriteOutput(block.data(), 63504), 1);
    EXPECT_EQ(sdk.sampleTimes, (std::vector<uint64_t>{0, 3'600'000, 7'200'000, 10'800'000}));
    EXPECT_EQ(session.SampleClock(), 144'000);
    session.CloseOutput();

    // One CD frame is 1,333.33 units, rounded per block.
    ASSERT_EQ(Open(), 1);
    EXPECT_EQ(session.SampleClock(), 0);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(session.WriteOutput(block.data(), 2352), 1);
    EXPECT_EQ(sdk.sampleTimes, (std::vector<uint64_t>{0, 3'600'000, 7'200'000, 10'800'000, 0, 133'300, 266'600}));
    EXPECT_EQ(sdk.sampleLengths.back(), 2352u);
    // Half a unit rounds away from zero: 882 bytes are 500 units, 1 byte 0.57 -> 1.
    ASSERT_EQ(session.WriteOutput(block.data(), 1), 1);
    EXPECT_EQ(session.SampleClock(), 3 * 1333 + 1);
    session.CloseOutput();
    EXPECT_EQ(MulDiv(882, 100000, 176400), 500);
    EXPECT_EQ(MulDiv(3, 1, 2), 2);
    EXPECT_EQ(MulDiv(-3, 1, 2), -2);
    EXPECT_EQ(MulDiv(5, 1, 0), -1);
}

TEST_F(WmaSessionTest, CopiesEveryByteIntoTheSample) {
    ASSERT_EQ(Open(), 1);
    std::vector<uint8_t> pcm(10000);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<uint8_t>(i * 7);
    ASSERT_EQ(session.WriteOutput(pcm.data(), 10000), 1);
    EXPECT_EQ(sdk.written, pcm);
    session.CloseOutput();
}

TEST_F(WmaSessionTest, WritesTheHeaderAttributesInOrderWithTheirTypes) {
    info.comment = "";
    ASSERT_EQ(Open(), 1);
    const std::vector<std::u16string> names{u"Title",   u"Author",   u"WM/AlbumTitle", u"WM/Genre",
                                            u"WM/Year", u"WM/Track", u"WM/TrackNumber"};
    ASSERT_EQ(sdk.attributes.size(), names.size());
    for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(sdk.attributes[i].name, names[i]);
    EXPECT_EQ(sdk.attributes[0].type, WMT_TYPE_STRING);
    EXPECT_EQ(Text(sdk.attributes[0]), std::u16string(u"Title\0", 6));  // with its terminator
    EXPECT_EQ(Text(sdk.attributes[1]), std::u16string(u"Artist\0", 7));
    EXPECT_EQ(Text(sdk.attributes[4]), std::u16string(u"1999\0", 5));
    EXPECT_EQ(sdk.attributes[4].type, WMT_TYPE_STRING);
    EXPECT_EQ(sdk.attributes[5].type, WMT_TYPE_DWORD);
    EXPECT_EQ(sdk.attributes[5].value.size(), 4u);
    EXPECT_EQ(Dword(sdk.attributes[5]), 0u);  // zero-based
    EXPECT_EQ(sdk.attributes[6].type, WMT_TYPE_DWORD);
    EXPECT_EQ(Dword(sdk.attributes[6]), 1u);
    session.CloseOutput();

    info = {12, "", "A", "", "", "", "", "A comment"};
    ASSERT_EQ(Open(), 1);
    ASSERT_EQ(sdk.attributes.size(), 7u + 4u);
    EXPECT_EQ(sdk.attributes[7].name, u"Author");
    EXPECT_EQ(sdk.attributes[8].name, u"Description");
    EXPECT_EQ(Dword(sdk.attributes[9]), 11u);
    EXPECT_EQ(Dword(sdk.attributes[10]), 12u);
    session.CloseOutput();
}

TEST_F(WmaSessionTest, NullInfoAndNullTextsWriteOnlyTheTrack) {
    ASSERT_EQ(session.OpenOutput("/music/x", 5, nullptr), 1);
    ASSERT_EQ(sdk.attributes.size(), 1u);
    EXPECT_EQ(sdk.attributes[0].name, u"WM/Track");
    EXPECT_EQ(Dword(sdk.attributes[0]), 4294967295u);
    session.CloseOutput();

    sdk.attributes.clear();
    const OutputTrackInfo nulls{2, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    ASSERT_EQ(session.OpenOutput("/music/x", 5, &nulls), 1);
    ASSERT_EQ(sdk.attributes.size(), 2u);
    EXPECT_EQ(Dword(sdk.attributes[0]), 1u);
    session.CloseOutput();
}

// The byte length passed with a text is 16 bits: a text too long for it is
// left out rather than passed with a length cut short.
TEST_F(WmaSessionTest, ATextTooLongForItsByteLengthIsLeftOut) {
    const std::string longest(32766, 'a'), tooLong(32767, 'b');
    info = {1, longest.c_str(), tooLong.c_str(), "", "", "", "", ""};
    ASSERT_EQ(Open(), 1);
    ASSERT_EQ(sdk.attributes.size(), 3u);
    EXPECT_EQ(sdk.attributes[0].name, u"Title");
    EXPECT_EQ(sdk.attributes[0].value.size(), 65534u);
    EXPECT_EQ(sdk.attributes[1].name, u"WM/Track");
    session.CloseOutput();
}

TEST_F(WmaSessionTest, WidensUtf8AndWindows1252Texts) {
    info = {1, "Caf\xC3\xA9 \xF0\x9D\x84\x9E", "\x80 caf\xE9", "", "", "", "", ""};
    ASSERT_EQ(Open(), 1);
    ASSERT_GE(sdk.attributes.size(), 2u);
    EXPECT_EQ(Text(sdk.attributes[0]), std::u16string(u"Caf\u00E9 \U0001D11E\0", 8));
    EXPECT_EQ(sdk.attributes[0].value.size(), 16u);
    EXPECT_EQ(Text(sdk.attributes[1]), std::u16string(u"\u20AC caf\u00E9\0", 7));
    session.CloseOutput();
}

TEST_F(WmaSessionTest, AppendsTheExtensionToTheFileName) {
    ASSERT_EQ(Open(), 1);
    EXPECT_EQ(sdk.fileName, u"/music/Disc/01 - Song.wma");
    session.CloseOutput();

    // Bytes that are not UTF-8 travel as escapes the writer turns back into bytes.
    ASSERT_EQ(session.OpenOutput("/m/\xE9t\xC3\xA9", 5, &info), 1);
    EXPECT_EQ(sdk.fileName, u"/m/\xDCE9t\u00E9.wma");
    session.CloseOutput();

    // A name that would not fit the writer's 512-unit buffer is refused, not cut short.
    const std::string longName(508, 'a');
    EXPECT_EQ(session.OpenOutput(longName.c_str(), 5, &info), 0);
    EXPECT_EQ(sdk.liveObjects, 0);
    EXPECT_EQ(session.OpenOutput(std::string(507, 'a').c_str(), 5, &info), 1);
    session.CloseOutput();
}

TEST_F(WmaSessionTest, EveryFailedOpenReleasesEverythingAndLeavesTheClockAtZero) {
    using Fail = FakeSdk::Fail;
    for (Fail fail : {Fail::CreateWriter, Fail::CreateProfileManager, Fail::LoadProfile, Fail::SetProfile,
                      Fail::SetOutputFilename, Fail::BeginWriting}) {
        SCOPED_TRACE(static_cast<int>(fail));
        // A previous track has moved the clock on.
        sdk.fail = Fail::Nothing;
        ASSERT_EQ(Open(), 1);
        ASSERT_EQ(session.WriteOutput(block.data(), 63504), 1);
        session.CloseOutput();
        ASSERT_NE(session.SampleClock(), 0);
        const int endings = sdk.endWriting;
        const size_t samples = sdk.sampleTimes.size();

        sdk.fail = fail;
        EXPECT_EQ(Open(), 0);
        EXPECT_FALSE(session.IsOpen());
        EXPECT_EQ(session.SampleClock(), 0);
        EXPECT_EQ(sdk.liveObjects, 0);
        EXPECT_EQ(sdk.coInitialized, sdk.coUninitialized);
        // Closed: nothing reaches the writer and the clock stays.
        EXPECT_EQ(session.WriteOutput(block.data(), 63504), 0);
        session.CloseOutput();
        EXPECT_EQ(session.SampleClock(), 0);
        EXPECT_EQ(sdk.sampleTimes.size(), samples);
        EXPECT_EQ(sdk.endWriting, endings);
        EXPECT_EQ(sdk.coInitialized, sdk.coUninitialized);
    }
}

TEST_F(WmaSessionTest, AMissingHeaderInterfaceOnlyLeavesTheAttributesOut) {
    sdk.fail = FakeSdk::Fail::QueryHeaderInfo;
    ASSERT_EQ(Open(), 1);
    EXPECT_TRUE(sdk.attributes.empty());
    EXPECT_EQ(sdk.beginWriting, 1);
    session.CloseOutput();
}

TEST_F(WmaSessionTest, ARefusedSampleReturnsZeroAndKeepsTheClock) {
    using Fail = FakeSdk::Fail;
    ASSERT_EQ(Open(), 1);
    ASSERT_EQ(session.WriteOutput(block.data(), 63504), 1);
    const int baseObjects = sdk.liveObjects;
    for (Fail fail : {Fail::AllocateSample, Fail::GetBufferAndLength, Fail::SetLength, Fail::WriteSample}) {
        SCOPED_TRACE(static_cast<int>(fail));
        sdk.fail = fail;
        EXPECT_EQ(session.WriteOutput(block.data(), 63504), 0);
        EXPECT_EQ(session.SampleClock(), 36'000);
        EXPECT_EQ(sdk.liveObjects, baseObjects);  // the sample was released
    }
    // A sample smaller than asked for is not written past its end.
    sdk.fail = Fail::Nothing;
    sdk.shortSampleBy = 4;
    EXPECT_EQ(session.WriteOutput(block.data(), 63504), 0);
    EXPECT_EQ(session.SampleClock(), 36'000);
    sdk.shortSampleBy = 0;
    ASSERT_EQ(session.WriteOutput(block.data(), 63504), 1);
    EXPECT_EQ(sdk.sampleTimes, (std::vector<uint64_t>{0, 3'600'000}));
    session.CloseOutput();
}

TEST_F(WmaSessionTest, CloseEndsWritingReleasesAllAndBalancesCom) {
    ASSERT_EQ(Open(), 1);
    EXPECT_EQ(sdk.coInitialized, 1);
    session.CloseOutput();
    EXPECT_EQ(sdk.endWriting, 1);
    EXPECT_EQ(sdk.liveObjects, 0);
    EXPECT_EQ(sdk.coUninitialized, 1);
    session.CloseOutput();  // a second close does nothing
    EXPECT_EQ(sdk.endWriting, 1);
    EXPECT_EQ(sdk.coUninitialized, 1);

    sdk.fail = FakeSdk::Fail::EndWriting;
    ASSERT_EQ(Open(), 1);
    session.CloseOutput();
    EXPECT_EQ(sdk.liveObjects, 0);
    EXPECT_EQ(sdk.coInitialized, sdk.coUninitialized);
}

}  // namespace
