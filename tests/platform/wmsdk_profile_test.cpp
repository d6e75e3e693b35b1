// Profile loading: the profiles the plug-in uses load, anything malformed or
// of another shape is refused.
#include <gtest/gtest.h>

#include <string>

#include "audio_profile.h"
#include "com_ptr.h"
#include "utf16.h"
#include "wmsdk.h"
#include "wmsdk_test_profile.h"

namespace {

using wmsdk_test::Replace;
const std::string& kProfile = wmsdk_test::kProfileCbr128;

TEST(WmsdkProfile, ParsesTheFieldsOfAProfile) {
    const auto p = wmsdk::ParseAudioProfile(kProfile);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->version, 589824u);
    EXPECT_EQ(p->name, "05");
    EXPECT_EQ(p->description, "128kbps");
    EXPECT_EQ(p->bitrate, 128016u);
    EXPECT_EQ(p->bufferWindow, -1);
    EXPECT_FALSE(p->vbrEnabled);
    EXPECT_EQ(p->formatTag, 0x0161);
    EXPECT_EQ(p->blockAlign, 5945);
    EXPECT_EQ(p->avgBytesPerSec, 16002u);
    EXPECT_EQ(p->codecData, (std::vector<uint8_t>{0x00, 0x88, 0, 0, 0x0F, 0, 0xE5, 0x5C, 0, 0}));

    const auto vbr = wmsdk::ParseAudioProfile(
        Replace(kProfile, R"(rfc1766langid="en-us")", R"(rfc1766langid="en-us" vbrenabled="1" vbrquality="75")"));
    ASSERT_TRUE(vbr);
    EXPECT_TRUE(vbr->vbrEnabled);
    EXPECT_EQ(vbr->vbrQuality, 75u);
}

TEST(WmsdkProfile, RefusesMalformedAndUnsupportedProfiles) {
    const std::string bad[] = {
        "",
        "<profile",
        Replace(kProfile, "</profile>", ""),
        "<!DOCTYPE p [<!ENTITY a \"aaaa\">]>" + kProfile,
        Replace(kProfile, "<profile ", "<profil "),
        Replace(kProfile, "</streamconfig>", "</streamconfig> <streamconfig/>"),
        Replace(kProfile, "</wmmediatype>", "<extra/> </wmmediatype>"),
        Replace(kProfile, "<waveformatex", "text <waveformatex"),
        Replace(kProfile, R"(codecdata="008800000F00E55C0000"/>)", R"(codecdata="00"> <x/> </waveformatex>)"),
        Replace(kProfile, "<waveformatex", "<notwaveformatex"),
        Replace(kProfile, "{73647561-", "{73646976-"),
        Replace(kProfile, "{00000161-", "{00000162-"),
        Replace(kProfile, "{00000161-0000-0010-8000-00AA00389B71}", "{00000161-0000-0010-8000-00AA00389B7}"),
        Replace(kProfile, R"(nChannels="2")", R"(nChannels="0")"),
        Replace(kProfile, R"(nChannels="2")", R"(nChannels="+2")"),
        Replace(kProfile, R"(nChannels="2")", R"(nChannels="2x")"),
        Replace(kProfile, R"(nChannels="2")", ""),
        Replace(kProfile, R"(wFormatTag="353")", R"(wFormatTag="65536")"),
        Replace(kProfile, R"(bitrate="128016")", R"(bitrate="99999999999")"),
        Replace(kProfile, R"(codecdata="008800000F00E55C0000")", R"(codecdata="0088000")"),
        Replace(kProfile, R"(codecdata="008800000F00E55C0000")", R"(codecdata="00880000ZZ")"),
        Replace(kProfile, R"(rfc1766langid="en-us")", R"(rfc1766langid="en-us" vbrenabled="1")"),
        Replace(kProfile, R"(streamnumber="1")", R"(streamnumber="1" streamnumber="2")"),
        kProfile + "<profile/>",
    };
    for (const std::string& text : bad) EXPECT_FALSE(wmsdk::ParseAudioProfile(text)) << text;
}

TEST(WmsdkProfile, TheManagerTakesUtf16AndRefusesBrokenText) {
    ComPtr<IWMProfileManager> manager;
    ASSERT_EQ(WMCreateProfileManager(manager.Put()), S_OK);
    std::u16string wide(kProfile.begin(), kProfile.end());
    ComPtr<IWMProfile> profile;
    ASSERT_EQ(manager->LoadProfileByData(wide.c_str(), profile.Put()), S_OK);
    DWORD length = 0;
    ASSERT_EQ(profile->GetName(nullptr, &length), S_OK);
    ASSERT_EQ(length, 3u);
    WCHAR name[3];
    ASSERT_EQ(profile->GetName(name, &length), S_OK);
    EXPECT_EQ(std::u16string(name), u"05");

    std::u16string surrogate = wide;
    surrogate.insert(surrogate.find(u"128kbps"), 1, u'\xD800');
    EXPECT_EQ(manager->LoadProfileByData(surrogate.c_str(), profile.Put()), E_INVALIDARG);
    EXPECT_FALSE(profile);
    EXPECT_EQ(manager->LoadProfileByData(nullptr, profile.Put()), E_POINTER);
}

TEST(WmsdkUtf16, FileNamesKeepTheirBytes) {
    EXPECT_EQ(wmsdk::Utf16ToFileName(u"/a/\u00E9\U0001D11E\xDCE9.wma"), "/a/\xC3\xA9\xF0\x9D\x84\x9E\xE9.wma");
    EXPECT_FALSE(wmsdk::Utf16ToFileName(u"\xDC10"));
    EXPECT_FALSE(wmsdk::Utf16ToFileName(u"\xD800x"));
    EXPECT_FALSE(wmsdk::Utf16ToUtf8(u"\xDCE9"));
    EXPECT_EQ(wmsdk::Utf16ToUtf8(u"caf\u00E9"), "caf\xC3\xA9");
}

}  // namespace
