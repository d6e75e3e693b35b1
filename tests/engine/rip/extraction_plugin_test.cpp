// The plug-in branch of the output session, with the recording fake plug-in
// loaded by the real module search and binding.
#include <dlfcn.h>

#include <filesystem>

#include "extraction_test_drive.h"
#include "fake_plugin_control.h"
#include "output/output_format.h"
#include "output/output_sink.h"
#include "rip/extract_worker.h"

namespace fs = std::filesystem;

namespace cadrix {
namespace {

class PluginTest : public test::FakeDriveTest {
protected:
    PluginTest() : plugin(), module(LoadPluginModule(FORMAT_WMA)) { plugin.Reset(); }

    std::vector<FakePluginCall> Calls() const {
        std::vector<FakePluginCall> calls;
        for (int i = 0; i < plugin.LogSize(); ++i) calls.push_back(plugin.LogEntry(i));
        return calls;
    }
    static std::string Names(const std::vector<FakePluginCall>& calls) {
        std::string names;
        for (const auto& call : calls) names += std::string(call.function).substr(0, 1);
        return names;  // O, W, C
    }

    test::FakePlugin plugin;  // constructed after the fake drive: module search points at it
    ModuleHandle module;
};

TEST_F(PluginTest, CallOrderQualityCodeAndData) {
    ASSERT_TRUE(module);
    SetDisc({0, 30, 40});
    auto session = NewSession(FORMAT_WMA_VBR, module.get(), QualityCode(FORMAT_WMA_VBR, 2));
    ExtractionRun run(*session);
    std::vector<std::string> started;
    EXPECT_EQ(RunToEnd(run, &started), RunState::Complete);
    EXPECT_EQ(started,
              (std::vector<std::string>{"Extracting & Compressing Track 1...", "Extracting & Compressing Track 2..."}));
    const auto calls = Calls();
    EXPECT_EQ(Names(calls), "OWWCOWC");
    EXPECT_EQ(calls[0].baseName, TrackFile(1, ""));
    EXPECT_EQ(calls[0].qualityCode, 0x42);
    EXPECT_EQ(calls[1].byteCount, 27 * AKRIP_FRAME_BYTES);
    EXPECT_EQ(calls[2].byteCount, 3 * AKRIP_FRAME_BYTES);
    EXPECT_EQ(calls[5].byteCount, 10 * AKRIP_FRAME_BYTES);
    EXPECT_FALSE(fs::exists(TrackFile(1)));  // no WAVE file in plug-in mode
    const auto pcm = test::ReadWholeFile(TrackFile(2, ".pcm"));
    EXPECT_TRUE(IsFakeAudio(pcm.data(), pcm.size(), 30, 10));
}

TEST_F(PluginTest, RefusedBlockIsCountedAndTheOutputClosed) {
    SetDisc({0, 100});
    plugin.RefuseWrite(2);
    auto session = NewSession(FORMAT_WMA, module.get(), 5);
    ExtractNextTrackHere(*session);
    EXPECT_EQ(Names(Calls()), "OWWC");
    EXPECT_EQ(session->trackBytesWritten, 2 * 27 * AKRIP_FRAME_BYTES);
    EXPECT_EQ(session->totalBytesWritten, 2 * 27 * AKRIP_FRAME_BYTES);
    EXPECT_EQ(session->framesDone, 27);
    EXPECT_EQ(Reads().size(), 2u);  // reading stops at the refused block
    EXPECT_EQ(JudgeFinishedTrack(*session), TrackVerdict::ShortFailed);
}

TEST_F(PluginTest, FailedOpenReadsNothingAndNeverCloses) {
    SetDisc({0, 100, 200});
    plugin.RefuseOpen(1);
    auto session = NewSession(FORMAT_WMA_LOSSLESS, module.get(), QualityCode(FORMAT_WMA_LOSSLESS, 0));
    ExtractionRun run(*session);
    EXPECT_EQ(RunToEnd(run), RunState::Failed);
    EXPECT_EQ(Names(Calls()), "O");
    EXPECT_EQ(Calls()[0].qualityCode, 0x80);
    EXPECT_EQ(Reads().size(), 0u);
    EXPECT_EQ(session->framesDone, 0);
    EXPECT_EQ(run.FailedTrack(), 1);
    EXPECT_EQ(run.FailureReason(), "the encoder plug-in could not open '" + TrackFile(1, "") + "'");
}

TEST_F(PluginTest, TrackInfoCarriesRawTextsWhileTheNameIsSanitised) {
    SetDisc({0, 10, 20, 30});
    DriveRecord& disc = drives[0];
    disc.discArtist = "Art:ist";
    disc.discTitle = "A/B?";
    disc.genre = "Rock";
    disc.year = "1999";
    disc.region = "EU";
    disc.tracks[1].selected = 0;
    disc.tracks[2].selected = 0;
    disc.tracks[3].title = "T*";
    disc.tracks[3].artist = "Ignored";
    auto session = NewSession(FORMAT_OGG, module.get(), 50);
    ExtractionRun run(*session);
    EXPECT_EQ(RunToEnd(run), RunState::Complete);
    auto calls = Calls();
    ASSERT_EQ(Names(calls), "OWC");
    EXPECT_EQ(std::string(calls[0].baseName), base + "/Art_ist - A_B_/03 - T_");
    EXPECT_EQ(calls[0].trackNumber, 3);  // the disc's number, not the run's count
    EXPECT_STREQ(calls[0].title, "T*");
    EXPECT_STREQ(calls[0].artist, "Art:ist");
    EXPECT_STREQ(calls[0].album, "A/B?");
    EXPECT_STREQ(calls[0].genre, "Rock");
    EXPECT_STREQ(calls[0].year, "1999");
    EXPECT_STREQ(calls[0].region, "EU");
    EXPECT_STREQ(calls[0].comment, "");
    EXPECT_EQ(session->trackInfo.reserved[0], 0u);
    EXPECT_EQ(session->trackInfo.reserved[1], 0u);

    // On a compilation the track's own artist goes in, even when empty.
    plugin.Reset();
    fake.ClearLog();
    disc.compilation = 1;
    disc.tracks[3].artist = "";
    auto again = NewSession(FORMAT_OGG, module.get(), 50);
    ExtractionRun second(*again);
    EXPECT_EQ(RunToEnd(second), RunState::Complete);
    calls = Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_STREQ(calls[0].artist, "");
    EXPECT_EQ(std::string(calls[0].baseName), base + "/Art_ist - A_B_/03 - T_");
}

TEST_F(PluginTest, InitFailsWithoutAModuleOrAnExport) {
    SetDisc({0, 10});
    OutputSession session;
    EXPECT_FALSE(session.Init(base, drives[0], nullptr, FORMAT_WMA, 5));
    ModuleHandle partial(dlopen((test::FakePluginDirWithoutWrite() + "/cadrix_wma.so").c_str(), RTLD_NOW | RTLD_LOCAL));
    ASSERT_TRUE(partial);
    EXPECT_FALSE(session.Init(base, drives[0], partial.get(), FORMAT_WMA, 5));
    EXPECT_EQ(session.LastError(), "the plug-in cadrix_wma.so lacks an entry point");
    EXPECT_TRUE(session.Init(base, drives[0], module.get(), FORMAT_WMA, 5));
    EXPECT_FALSE(fs::exists(base));
}

TEST(PluginModules, FormatTableAndQualityCodes) {
    EXPECT_EQ(FindOutputFormat(FORMAT_PCM)->moduleFile, nullptr);
    EXPECT_STREQ(FindOutputFormat(FORMAT_OGG)->moduleFile, "cadrix_ogg.so");
    for (int32_t f : {FORMAT_WMA, FORMAT_WMA_VBR, FORMAT_WMA_LOSSLESS}) {
        EXPECT_STREQ(FindOutputFormat(f)->moduleFile, "cadrix_wma.so");
    }
    EXPECT_STREQ(FindOutputFormat(FORMAT_FLAC)->moduleFile, "cadrix_flac.so");
    EXPECT_EQ(FindOutputFormat(FORMAT_COUNT), nullptr);
    EXPECT_EQ(FindOutputFormatByCliName("wma-vbr")->format, FORMAT_WMA_VBR);
    EXPECT_EQ(FindOutputFormatByCliName("mp3"), nullptr);
    EXPECT_EQ(QualityCode(FORMAT_PCM, 7), 0);
    EXPECT_EQ(QualityCode(FORMAT_OGG, 110), 110);
    EXPECT_EQ(QualityCode(FORMAT_WMA, 9), 9);
    EXPECT_EQ(QualityCode(FORMAT_WMA_VBR, 5), 0x45);
    EXPECT_EQ(QualityCode(FORMAT_WMA_LOSSLESS, 3), 0x80);
    EXPECT_EQ(QualityCode(FORMAT_FLAC, 8), 8);
    EXPECT_FALSE(LoadPluginModule(FORMAT_PCM));
}

}  // namespace
}  // namespace cadrix
