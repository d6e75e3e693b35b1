// The main dialog and the progress dialog, driven headless over the fake
// akrip.so and the fake encoder plug-ins.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "about_dialog.h"
#include "alert_sound.h"
#include "disc_text.h"
#include "dlu_layout.h"
#include "documents_folder.h"
#include "extract_dialog.h"
#include "fake_akrip_control.h"
#include "fake_plugin_control.h"
#include "lookup_server.h"
#include "main_dialog.h"
#include "message_box.h"
#include "output/output_format.h"
#include "quality_slider.h"
#include "settings/settings.h"
#include "tab_pane.h"
#include "track_list.h"
#include "ui_test_support.h"
#include "verify/accuraterip.h"

namespace cadrix {
namespace {

using test::FakeAkrip;
using test::FakePlugin;
using test::MakeToc;
using test::TempDir;
using test::WriteFile;

bool WaitFor(const std::function<bool()>& done, int timeoutMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        usleep(2000);
    }
    return true;
}

// Runs `step` on the progress dialog once it is the active modal window.
void OnProgressDialog(std::function<void(ExtractDialog&)> step) {
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, step] {
        if (auto* dialog = qobject_cast<ExtractDialog*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            step(*dialog);
        }
    });
    poll->start();
}

std::string SettingsPath() { return test::ConfigHome() + "/Zephyrtone/Zephyrtone.conf"; }

// 100 ms of audio is 7.5 frames: tracks of 30, 45 and 60 frames keep runs short.
constexpr uint32_t DISC_ID = 0x2a0b0c03;

class DialogTest : public testing::Test {
protected:
    void SetUp() override {
        std::error_code ec;
        std::filesystem::remove_all(test::ConfigHome(), ec);
        fake_.Reset();
        previousHook_ = SetMessageHook([this](QWidget*, const QString& text) { messages_.push_back(text); });
        // The disc database: UTF-8 names, and one in Windows-1252.
        const std::string dataDir = data_.Path() + "/";
        WriteFile(test::ConfigHome() + "/Zephyrtone/zephtone.ini", "datadir:" + dataDir + "\n");
        WriteFile(dataDir + "2a0b0c03.cdb",
                  "DARTIST=Bj\xc3\xb6rk Tester\nDTITLE=Demo Songs\nTTITLE1=Caf\xc3\xa9 Intro\n"
                  "TTITLE2=Second\nTTITLE3=Caf\xe9 \x80uro\n");
    }
    void TearDown() override { SetMessageHook(previousHook_); }

    void InsertDisc(int drive, uint32_t id = DISC_ID) {
        fake_.SetToc(drive, MakeToc({0, 30, 75, 135}));
        fake_.SetDiscId(drive, id);
    }

    std::unique_ptr<MainDialog> MakeDialog(std::set<std::string> plugins = {}, bool watch = false) {
        auto dialog = std::make_unique<MainDialog>();
        dialog->SetWatchDevices(watch);
        dialog->SetDocumentsFolder([this] { return documents_; });
        dialog->SetModuleLoader([plugins](std::string_view name) {
            if (!plugins.count(std::string(name))) return ModuleHandle();
            const std::string path = test::FakePluginDir() + "/" + std::string(name);
            return ModuleHandle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
        });
        return dialog;
    }

    std::vector<int> FormatData(const MainDialog& dialog) const {
        std::vector<int> data;
        for (int i = 0; i < dialog.FormatList()->count(); ++i) data.push_back(dialog.FormatList()->itemData(i).toInt());
        return data;
    }

    static void SetChecked(MainDialog& dialog, int row, bool checked) {
        dialog.Tracks()->topLevelItem(row)->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
    }

    static void SelectFormat(MainDialog& dialog, int32_t format) {
        dialog.FormatList()->setCurrentIndex(dialog.FormatList()->findData(format));
    }

    FakePlugin plugin_;  // before the fake akrip: both point the module search at their folder
    FakeAkrip fake_;
    TempDir data_;
    TempDir out_;
    QString documents_ = QStringLiteral("/home/tester/Documents");
    std::vector<QString> messages_;
    MessageHook previousHook_;
};

TEST_F(DialogTest, NoDriveEndsStartUpWithTheMessageAndWritesNoSettings) {
    fake_.SetDriveCount(0);
    {
        auto dialog = MakeDialog({WMA_MODULE_FILE});
        EXPECT_FALSE(dialog->OnInitDialog());
        EXPECT_EQ(dialog->TimerId(), 0);
    }
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0], QStringLiteral("Could not initialize AKRip library."));
    EXPECT_FALSE(std::filesystem::exists(SettingsPath()));
    EXPECT_EQ(fake_.OpenHandles(), 0);
}

TEST_F(DialogTest, OneDriveShowsItsDiscNamedFromTheDatabase) {
    fake_.SetDriveCount(1);
    fake_.SetDriveName(0, "DEMO-DRIVE      ");
    InsertDisc(0);
    auto dialog = MakeDialog();
    ASSERT_TRUE(dialog->OnInitDialog());
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Cadrix"));
    ASSERT_EQ(dialog->DriveTabs()->Bar()->count(), 1);
    EXPECT_EQ(dialog->DriveTabs()->Bar()->tabText(0), QStringLiteral("DEMO-DRIVE"));
    EXPECT_EQ(dialog->CaptionField()->text(), QStringLiteral("Bj\u00f6rk Tester - Demo Songs"));
    TrackList* list = dialog->Tracks();
    ASSERT_EQ(list->topLevelItemCount(), 3);
    EXPECT_EQ(list->topLevelItem(0)->text(1), QStringLiteral("Caf\u00e9 Intro"));
    // Not valid UTF-8: read as Windows-1252.
    EXPECT_EQ(list->topLevelItem(2)->text(1), QStringLiteral("Caf\u00e9 \u20acuro"));
    EXPECT_EQ(list->topLevelItem(1)->text(0), QStringLiteral("2"));
    EXPECT_EQ(TrackList::ItemData(list->topLevelItem(1)), 2);
    EXPECT_EQ(list->topLevelItem(2)->text(2), QStringLiteral("0:00"));
    EXPECT_EQ(list->CheckedTracks(), (std::vector<int32_t>{1, 2, 3}));
    // Columns fill the list exactly when the scroll bar shows.
    const int client = list->width() - 2 * list->frameWidth();
    const int bar = list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list);
    EXPECT_EQ(list->columnWidth(0) + list->columnWidth(1) + list->columnWidth(2), client - bar);
    // No plug-in: PCM only, quality disabled, the default folder proposed.
    EXPECT_EQ(FormatData(*dialog), (std::vector<int>{0}));
    EXPECT_FALSE(dialog->Slider()->isEnabled());
    EXPECT_FALSE(dialog->QualityGroup()->isEnabled());
    EXPECT_EQ(dialog->Slider()->TipText(), QStringLiteral("Uncompressed"));
    EXPECT_EQ(dialog->OutputDirField()->text(), QStringLiteral("/home/tester/Documents/My Music"));
    EXPECT_EQ(dialog->SpaceField()->text(), QStringLiteral("Disk Space Required: 0Mb"));
    EXPECT_NE(dialog->TimerId(), 0);
}

TEST_F(DialogTest, TabKeyVisitsTheTabStopsInTemplateOrder) {
    fake_.SetDriveCount(1);
    InsertDisc(0);
    auto dialog = MakeDialog({WMA_MODULE_FILE});
    ASSERT_TRUE(dialog->OnInitDialog());
    SelectFormat(*dialog, FORMAT_WMA);  // the slider takes part only when enabled
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    dialog->Tracks()->setFocus();
    const std::vector<QWidget*> expected = {dialog->BrowseButton(), dialog->FormatList(), dialog->Slider(),
                                            dialog->ExtractButton(), dialog->Tracks()};
    for (QWidget* next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next) << next->metaObject()->className();
    }
}

TEST_F(DialogTest, EightDrivesGetATabEach) {
    fake_.SetDriveCount(8);
    for (int k = 0; k < 8; ++k) fake_.SetDriveName(k, ("DRIVE " + std::to_string(k)).c_str());
    InsertDisc(7);
    auto dialog = MakeDialog();
    ASSERT_TRUE(dialog->OnInitDialog());
    ASSERT_EQ(dialog->DriveTabs()->Bar()->count(), 8);
    EXPECT_EQ(dialog->DriveTabs()->Bar()->tabText(7), QStringLiteral("DRIVE 7"));
    EXPECT_EQ(dialog->Tracks()->topLevelItemCount(), 0);  // drive 0 has no disc
    EXPECT_EQ(dialog->CaptionField()->text(), QString());
    EXPECT_EQ(dialog->SpaceField()->text(), QStringLiteral("Disk Space Required: 0Mb"));
    dialog->DriveTabs()->Bar()->setCurrentIndex(7);
    EXPECT_EQ(dialog->Drives().currentDrive, 7);
    EXPECT_EQ(dialog->Tracks()->topLevelItemCount(), 3);
}

TEST_F(DialogTest, FormatListOffersWhatThePlugInsAllow) {
    fake_.SetDriveCount(1);
    InsertDisc(0);
    const struct {
        std::set<std::string> plugins;
        std::vector<int> data;
    } cases[] = {
        {{}, {0}},
        {{WMA_MODULE_FILE}, {0, 2, 3, 4}},
        {{OGG_MODULE_FILE}, {0, 1}},
        {{OGG_MODULE_FILE, WMA_MODULE_FILE}, {0, 1, 2, 3, 4}},
        {{FLAC_MODULE_FILE}, {0, 5}},
        {{OGG_MODULE_FILE, WMA_MODULE_FILE, FLAC_MODULE_FILE}, {0, 1, 2, 3, 4, 5}},
    };
    for (const auto& c : cases) {
        auto dialog = MakeDialog(c.plugins);
        ASSERT_TRUE(dialog->OnInitDialog());
        EXPECT_EQ(FormatData(*dialog), c.data);
        EXPECT_EQ(dialog->FormatList()->itemText(0), QStringLiteral("Windows PCM"));
        if (c.data.size() >= 5) {
            EXPECT_EQ(dialog->FormatList()->itemText(1), QStringLiteral("Ogg Vorbis 1.0"));
            EXPECT_EQ(dialog->FormatList()->itemText(4), QStringLiteral("Windows Media Audio 9 Lossless"));
        }
        if (c.data.back() == FORMAT_FLAC) {
            EXPECT_EQ(dialog->FormatList()->itemText(static_cast<int>(c.data.size()) - 1), "FLAC");
        }
    }
}

TEST_F(DialogTest, StoredOggFormatWithoutItsPlugInFallsBackToPcmAndIsSavedSo) {
    fake_.SetDriveCount(1);
    InsertDisc(0);
    WriteFile(SettingsPath(), "CadrixDir=" + out_.Path() + "\nCadrixFormat=" + std::to_string(60 + (1u << 24)) + "\n");
    {
        auto dialog = MakeDialog({WMA_MODULE_FILE});
        ASSERT_TRUE(dialog->OnInitDialog());
        EXPECT_EQ(dialog->Format(), FORMAT_PCM);
        EXPECT_EQ(dialog->FormatList()->currentIndex(), 0);
        EXPECT_EQ(dialog->Quality(FORMAT_OGG), 60);
        dialog->reject();  // Esc: the dialog ends and saves
    }
    const StoredValues stored = ParseSettingsText(test::ReadFile(SettingsPath()));
    ASSERT_TRUE(stored.formatWord.has_value());
    EXPECT_EQ(*stored.formatWord, 60u);  // format byte 0 now; the other bytes as stored
    EXPECT_EQ(stored.dir, out_.Path());
}

TEST_F(DialogTest, SliderFollowsFormatAndPollReachesEstimateAndSettings) {
    fake_.SetDriveCount(1);
    InsertDisc(0);
    WriteFile(SettingsPath(), "CadrixFormat=" + std::to_string(70 + (7u << 8) + (2u << 16) + (3u << 24)) + "\n");
    auto dialog = MakeDialog({OGG_MODULE_FILE, WMA_MODULE_FILE});
    ASSERT_TRUE(dialog->OnInitDialog());
    QualitySlider* slider = dialog->Slider();
    EXPECT_EQ(dialog->Format(), FORMAT_WMA_VBR);
    EXPECT_EQ(dialog->FormatList()->currentData().toInt(), FORMAT_WMA_VBR);
    EXPECT_EQ(slider->maximum(), 5);
    EXPECT_EQ(slider->value(), 2);
    EXPECT_EQ(slider->TipText(), QStringLiteral("Quality: 2"));
    EXPECT_TRUE(slider->isEnabled());
    EXPECT_TRUE(dialog->QualityGroup()->isEnabled());

    SelectFormat(*dialog, FORMAT_OGG);
    EXPECT_EQ(slider->maximum(), 110);
    EXPECT_EQ(slider->tickInterval(), 10);
    EXPECT_EQ(slider->pageStep(), 10);
    EXPECT_EQ(slider->value(), 70);
    EXPECT_EQ(slider->TipText(), QStringLiteral("Quality: 0.60"));

    // A move reaches the kept position, tooltip and estimate through the poll.
    slider->setValue(110);
    ASSERT_TRUE(WaitFor([&] { return dialog->Quality(FORMAT_OGG) == 110; }, 1000));
    EXPECT_EQ(slider->TipText(), QStringLiteral("Quality: 1.00"));
    // 135 frames (1.8 s) at 500 kbit/s: below half a MiB, and never marked at 0.
    EXPECT_EQ(dialog->SpaceField()->text(), QStringLiteral("Disk Space Required: 0Mb"));

    SelectFormat(*dialog, FORMAT_WMA);
    EXPECT_EQ(slider->maximum(), 9);
    EXPECT_EQ(slider->value(), 7);
    EXPECT_EQ(slider->TipText(), QStringLiteral("Bitrate: 192kbps"));

    // Lossless leaves the range the previous format set.
    SelectFormat(*dialog, FORMAT_WMA_LOSSLESS);
    EXPECT_EQ(slider->maximum(), 9);
    EXPECT_EQ(slider->value(), 0);
    EXPECT_FALSE(slider->isEnabled());
    EXPECT_FALSE(dialog->QualityGroup()->isEnabled());
    EXPECT_EQ(slider->TipText(), QStringLiteral("Lossless"));
    EXPECT_EQ(dialog->Quality(FORMAT_WMA), 7);  // the thumb at 0 is not taken for WMA

    dialog->reject();
    const StoredValues stored = ParseSettingsText(test::ReadFile(SettingsPath()));
    EXPECT_EQ(stored.formatWord, 110u + (7u << 8) + (2u << 16) + (4u << 24));
}

// FLAC is Cadrix's own format: the suite's 4-byte value keeps a format the
// suite knows (the one chosen before), a key of Cadrix's own says FLAC, and
// without the module the stored format falls back to PCM.
TEST_F(DialogTest, FlacIsKeptInKeysOfItsOwnAndFallsBackWithoutItsModule) {
    fake_.SetDriveCount(1);
    InsertDisc(0);
    const uint32_t word = 60 + (7u << 8) + (2u << 16) + (2u << 24);
    WriteFile(SettingsPath(), "CadrixFormat=" + std::to_string(word) + "\n");
    {
        auto dialog = MakeDialog({FLAC_MODULE_FILE, WMA_MODULE_FILE});
        ASSERT_TRUE(dialog->OnInitDialog());
        EXPECT_EQ(dialog->Format(), FORMAT_WMA);
        SelectFormat(*dialog, FORMAT_FLAC);
        dialog->Slider()->setValue(3);
        ASSERT_TRUE(WaitFor([&] { return dialog->Quality(FORMAT_FLAC) == 3; }, 1000));
        dialog->reject();
    }
    StoredValues stored = ParseSettingsText(test::ReadFile(SettingsPath()));
    EXPECT_EQ(stored.formatWord, word);  // byte 3 still WMA, which the suite knows
    EXPECT_EQ(stored.ownFormat, 5u);
    EXPECT_EQ(stored.flacLevel, 3u);
    {
        auto dialog = MakeDialog({FLAC_MODULE_FILE});
        ASSERT_TRUE(dialog->OnInitDialog());
        EXPECT_EQ(dialog->Format(), FORMAT_FLAC);
        EXPECT_EQ(dialog->Slider()->value(), 3);
    }
    auto dialog = MakeDialog({});
    ASSERT_TRUE(dialog->OnInitDialog());
    EXPECT_EQ(dialog->Format(), FORMAT_PCM);
    // A byte 3 beyond the suite's formats is out of range, as the suite reads it.
    WriteFile(SettingsPath(), "CadrixFormat=" + std::to_string((word & 0xFFFFFF) | 5u << 24) + "\n");
    auto again = MakeDialog({FLAC_MODULE_FILE});
    ASSERT_TRUE(again->OnInitDialog());
    EXPECT_EQ(again->Format(), FORMAT_PCM);
}

// A disc no database file names is named online while the dialog runs: the
// list and caption refresh by themselves, from the file kept in Cadrix's own
// disc folder; of several releases the one the user picks is kept. Names
// change texts only: the user's check boxes stay.
TEST_F(DialogTest, OnlineNamesRefreshTheListByThemselves) {
    for (const char* scenario : {"one", "several"}) {
        fake_.SetDriveCount(1);
        const uint32_t id = std::string(scenario) == "one" ? 0x1a0b0c03 : 0x1b0b0c03;  // not in the database
        InsertDisc(0, id);
        const test::LookupServer server(scenario, out_ / (std::string(scenario) + ".log"));
        setenv("CADRIX_MUSICBRAINZ_SERVER", server.Url().c_str(), 1);
        std::vector<size_t> offered;
        auto dialog = MakeDialog();
        dialog->SetReleasePicker([&offered](int, const std::vector<ReleaseCandidate>& releases) {
            offered.push_back(releases.size());
            return 1;
        });
        ASSERT_TRUE(dialog->OnInitDialog());
        SetChecked(*dialog, 1, false);  // the user's choice, made before the names arrive
        const QString estimate = dialog->SpaceField()->text();
        const QString expected = std::string(scenario) == "one" ? QStringLiteral("Live at the Lighthouse")
                                                                : QStringLiteral("Tidal (Remastered)");
        EXPECT_TRUE(WaitFor([&] { return dialog->CaptionField()->text().contains(expected); }, 15000))
            << dialog->CaptionField()->text().toStdString();
        EXPECT_EQ(dialog->Tracks()->CheckedTracks(), (std::vector<int32_t>{1, 3}));
        EXPECT_EQ(dialog->Drives().drives[0].tracks[2].selected, 0);
        EXPECT_EQ(dialog->SpaceField()->text(), estimate);
        EXPECT_EQ(offered, std::string(scenario) == "one" ? std::vector<size_t>{} : std::vector<size_t>{2});
        dialog->reject();
    }
    setenv("CADRIX_MUSICBRAINZ_SERVER", "http://127.0.0.1:9", 1);
}

// Beside the estimate: the front cover that came with the names of a disc
// MusicBrainz knows, and for a disc nobody knows the link that adds it.
TEST_F(DialogTest, AKnownDiscShowsItsCoverAndAnUnknownOneTheMusicBrainzLink) {
    fake_.SetDriveCount(1);
    InsertDisc(0, 0x1c0b0c03);  // in no database
    WriteFile(out_.Path() + "/covers/5f1c3a2e-6d0b-4b7e-9a51-2c6f0d6e7a01.json",
              R"({"images":[{"front":true,"image":"@SERVER@/covers/front.png"}]})");
    QImage front(300, 300, QImage::Format_RGB32);
    front.fill(QColor(200, 60, 30));
    ASSERT_TRUE(front.save(QString::fromStdString(out_.Path() + "/covers/front.png")));
    {
        const test::LookupServer server("one", out_.Path() + "/one.log", out_.Path() + "/covers");
        setenv("CADRIX_MUSICBRAINZ_SERVER", server.Url().c_str(), 1);
        setenv("CADRIX_COVERART_SERVER", server.Url().c_str(), 1);
        auto dialog = MakeDialog();
        ASSERT_TRUE(dialog->OnInitDialog());
        EXPECT_TRUE(WaitFor([&] { return !dialog->CoverThumbnail()->isHidden(); }, 15000));
        const QPixmap shown = dialog->CoverThumbnail()->pixmap();
        ASSERT_FALSE(shown.isNull());
        EXPECT_EQ(shown.toImage().pixelColor(shown.width() / 2, shown.height() / 2), QColor(200, 60, 30));
        EXPECT_TRUE(dialog->SubmissionLink()->isHidden());
        dialog->reject();
    }
    const test::LookupServer server("none", out_.Path() + "/none.log");
    setenv("CADRIX_MUSICBRAINZ_SERVER", server.Url().c_str(), 1);
    InsertDisc(0, 0x1d0b0c03);
    auto dialog = MakeDialog();
    ASSERT_TRUE(dialog->OnInitDialog());
    EXPECT_TRUE(dialog->CoverThumbnail()->isHidden());
    EXPECT_FALSE(dialog->SubmissionLink()->isHidden());
    EXPECT_TRUE(dialog->SubmissionLink()->openExternalLinks());
    EXPECT_TRUE(dialog->SubmissionLink()->text().contains(QString::fromStdString(server.Url() + "/cdtoc/attach?id=")))
        << dialog->SubmissionLink()->text().toStdString();
    dialog->reject();
    setenv("CADRIX_MUSICBRAINZ_SERVER", "http://127.0.0.1:9", 1);
    setenv("CADRIX_COVERART_SERVER", "http://127.0.0.1:9", 1);
}

TEST_F(DialogTest, OggToLosslessLeavesTheOggRange) {
    fake_.SetDriveCount(1);
    auto dialog = MakeDialog({OGG_MODULE_FILE, WMA_MODULE_FILE});
    ASSERT_TRUE(dialog->OnInitDialog());
    SelectFormat(*dialog, FORMAT_OGG);
    SelectFormat(*dialog, FORMAT_WMA_LOSSLESS);
    EXPECT_EQ(dialog->Slider()->maximum(), 110);
    EXPECT_EQ(dialog->Slider()->value(), 0);
    EXPECT_EQ(dialog->Slider()->TipText(), QStringLiteral("Lossless"));
}

TEST_F(DialogTest, EstimateFollowsCheckBoxesAndFormat) {
    fake_.SetDriveCount(1);
    // Tracks of 3:00 and 1:00.
    fake_.SetToc(0, MakeToc({0, 13500, 18000}));
    fake_.SetDiscId(0, 0x1234);
    auto dialog = MakeDialog({WMA_MODULE_FILE});
    ASSERT_TRUE(dialog->OnInitDialog());
    EXPECT_EQ(dialog->SpaceField()->text(), QStringLiteral("Disk Space Required: 40Mb"));
    SetChecked(*dialog, 1, false);
    EXPECT_EQ(dialog->SpaceField()->text(), QStringLiteral("Disk Space Required: 30Mb"));
    EXPECT_EQ(dialog->Drives().drives[0].tracks[2].selected, 0);
    SetChecked(*dialog, 0, false);
    SetChecked(*dialog, 1, true);
    SelectFormat(*dialog, FORMAT_WMA_LOSSLESS);
    EXPECT_EQ(dialog->SpaceField()->text(), QStringLiteral("Disk Space Required: 6Mb [Estimated]"));
    SelectFormat(*dialog, FORMAT_WMA);
    EXPECT_EQ(dialog->SpaceField()->text(), QStringLiteral("Disk Space Required: 1Mb"));
}

TEST_F(DialogTest, TabSwitchingKeepsATrackUnchecked) {
    fake_.SetDriveCount(2);
    InsertDisc(0);
    fake_.SetToc(1, MakeToc({0, 100}));
    fake_.SetDiscId(1, 0x777);
    auto dialog = MakeDialog();
    ASSERT_TRUE(dialog->OnInitDialog());
    SetChecked(*dialog, 1, false);
    dialog->DriveTabs()->Bar()->setCurrentIndex(1);
    EXPECT_EQ(dialog->Tracks()->topLevelItemCount(), 1);
    EXPECT_EQ(dialog->CaptionField()->text(), QStringLiteral("Untitled Disc"));
    EXPECT_EQ(dialog->Tracks()->topLevelItem(0)->text(1), QStringLiteral("Untitled Track"));
    dialog->DriveTabs()->Bar()->setCurrentIndex(0);
    EXPECT_EQ(dialog->Tracks()->CheckedTracks(), (std::vector<int32_t>{1, 3}));
    EXPECT_EQ(dialog->Drives().drives[0].tracks[2].selected, 0);
}

TEST_F(DialogTest, ExtractRefusesWithoutTracksOrFolder) {
    fake_.SetDriveCount(1);
    InsertDisc(0);
    documents_.clear();
    auto dialog = MakeDialog();
    ASSERT_TRUE(dialog->OnInitDialog());
    EXPECT_EQ(dialog->OutputDir(), "");
    for (int row = 0; row < 3; ++row) SetChecked(*dialog, row, false);
    // Enter triggers Extract and never ends the dialog.
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    QTest::keyClick(dialog.get(), Qt::Key_Return);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_.back(), QStringLiteral("No tracks selected."));
    EXPECT_TRUE(dialog->isVisible());
    SetChecked(*dialog, 2, true);
    dialog->ExtractButton()->click();
    ASSERT_EQ(messages_.size(), 2u);
    EXPECT_EQ(messages_.back(), QStringLiteral("Please specify a base output path."));

    // Browse sets the folder; the end of a long path stays in view.
    QString start;
    dialog->SetFolderChooser([this, &start](QWidget*, const QString& from) {
        start = from;
        return QString::fromStdString(out_.Path());
    });
    dialog->BrowseButton()->click();
    EXPECT_EQ(dialog->OutputDir(), out_.Path());
    EXPECT_EQ(dialog->OutputDirField()->cursorPosition(), static_cast<int>(out_.Path().size()) - 1);
    dialog->SetFolderChooser([&start](QWidget*, const QString& from) {
        start = from;
        return QString();
    });
    dialog->BrowseButton()->click();  // cancelled: nothing changes
    EXPECT_EQ(dialog->OutputDir(), out_.Path());
    EXPECT_EQ(start.toStdString(), out_.Path());  // it opened in the current base folder
}

TEST_F(DialogTest, BrowseUsesQtsFolderDialogWithItsTitle) {
    fake_.SetDriveCount(1);
    auto dialog = MakeDialog();
    ASSERT_TRUE(dialog->OnInitDialog());
    QString title;
    QTimer::singleShot(50, [&] {
        QWidget* chooser = QApplication::activeModalWidget();
        ASSERT_NE(chooser, nullptr);
        title = chooser->windowTitle();
        auto* shown = chooser->findChild<QLabel*>(QStringLiteral("browseTitle"));
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(shown->text(), title);
        auto* name = chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(QString::fromStdString(out_.Path()));
        QTest::keyClick(name, Qt::Key_Return);
    });
    dialog->OnBrowse();
    EXPECT_EQ(title, QStringLiteral("Select the base output folder for extracted audio files:"));
    EXPECT_EQ(dialog->OutputDir(), out_.Path());
}

TEST_F(DialogTest, DiscInsertedIntoAnotherVirtualDriveIsReadWithoutRebuildingTheList) {
    TempDir driveA, driveB;
    setenv("CADRIX_VIRTUAL_DRIVES", (driveA.Path() + ":" + driveB.Path()).c_str(), 1);
    fake_.SetDriveCount(2);
    InsertDisc(0);
    auto dialog = MakeDialog({}, /*watch=*/true);
    ASSERT_TRUE(dialog->OnInitDialog());
    unsetenv("CADRIX_VIRTUAL_DRIVES");
    SetChecked(*dialog, 0, false);
    const QTreeWidgetItem* firstRow = dialog->Tracks()->topLevelItem(0);
    EXPECT_EQ(dialog->Drives().drives[1].trackCount, 0);

    fake_.SetToc(1, MakeToc({0, 200, 400}));
    fake_.SetDiscId(1, 0x999);
    WriteFile(driveB.Path() + "/disc.cue", "FILE \"disc.bin\" BINARY\n");
    ASSERT_TRUE(WaitFor([&] { return dialog->Drives().drives[1].trackCount == 2; }));
    EXPECT_EQ(dialog->Tracks()->topLevelItem(0), firstRow);
    EXPECT_EQ(dialog->Tracks()->CheckedTracks(), (std::vector<int32_t>{2, 3}));
    dialog->DriveTabs()->Bar()->setCurrentIndex(1);
    EXPECT_EQ(dialog->Tracks()->topLevelItemCount(), 2);
}

// Audio before track 1's INDEX 01 that is not silence is row "0", checked
// like every track; unchecking it leaves it out of the run.
TEST_F(DialogTest, HiddenTrackOneAudioIsRowZero) {
    fake_.SetDriveCount(1);
    fake_.SetToc(0, MakeToc({300, 1050, 1800}));
    fake_.SetDiscId(0, 0x1c001202);
    auto dialog = MakeDialog();
    ASSERT_TRUE(dialog->OnInitDialog());
    TrackList* list = dialog->Tracks();
    ASSERT_EQ(list->topLevelItemCount(), 3);
    EXPECT_EQ(list->topLevelItem(0)->text(0), QStringLiteral("0"));
    EXPECT_EQ(list->topLevelItem(0)->text(1), QStringLiteral("Hidden Track"));
    EXPECT_EQ(list->topLevelItem(0)->text(2), QStringLiteral("0:04"));
    EXPECT_EQ(list->CheckedTracks(), (std::vector<int32_t>{0, 1, 2}));
    SetChecked(*dialog, 0, false);
    EXPECT_EQ(dialog->Drives().drives[0].tracks[0].selected, 0);
    EXPECT_EQ(dialog->Drives().drives[0].tracks[1].selected, 1);
}

TEST_F(DialogTest, DiscChangeInTheSelectedDriveRefillsTheList) {
    fake_.SetDriveCount(1);
    InsertDisc(0);
    auto dialog = MakeDialog();
    ASSERT_TRUE(dialog->OnInitDialog());
    fake_.SetToc(0, MakeToc({0, 13500}));
    fake_.SetDiscId(0, 0x4242);
    dialog->OnDeviceChange();
    EXPECT_EQ(dialog->Tracks()->topLevelItemCount(), 1);
    EXPECT_EQ(dialog->SpaceField()->text(), QStringLiteral("Disk Space Required: 30Mb"));
}

class RunTest : public DialogTest {
protected:
    std::unique_ptr<MainDialog> ReadyDialog(std::set<std::string> plugins = {}) {
        fake_.SetDriveCount(1);
        InsertDisc(0);
        WriteFile(SettingsPath(), "CadrixDir=" + out_.Path() + "\n");
        auto dialog = MakeDialog(std::move(plugins));
        if (!dialog->OnInitDialog()) ADD_FAILURE() << "start-up failed";
        return dialog;
    }
};

TEST_F(RunTest, CompleteRunWritesEveryCheckedTrackAndClosesItself) {
    auto dialog = ReadyDialog();
    SetChecked(*dialog, 1, false);
    std::vector<QString> statuses;
    int sounds = -1;
    OnProgressDialog([&](ExtractDialog& progress) {
        EXPECT_EQ(progress.windowTitle(), QStringLiteral("Extracting Audio"));
        EXPECT_EQ(progress.CloseButton()->text(), QStringLiteral("Abort"));
        auto* watch = new QTimer(&progress);
        QObject::connect(watch, &QTimer::timeout, [&, watch] {
            if (statuses.empty() || statuses.back() != progress.StatusLine()->text()) {
                statuses.push_back(progress.StatusLine()->text());
            }
            sounds = progress.SoundsPlayed();
            (void)watch;
        });
        watch->start(5);
    });
    dialog->OnOK();  // returns when the progress dialog closed itself
    const std::string folder = out_.Path() + "/Bj__rk Tester - Demo Songs";
    EXPECT_TRUE(std::filesystem::exists(folder + "/01 - Caf__ Intro.wav"));
    EXPECT_FALSE(std::filesystem::exists(folder + "/02 - Second.wav"));
    ASSERT_TRUE(std::filesystem::exists(folder + "/03 - Caf_ _uro.wav"));
    EXPECT_EQ(std::filesystem::file_size(folder + "/03 - Caf_ _uro.wav"), 44u + 60u * 2352u);
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), QStringLiteral("Extracting Track 1...")), statuses.end());
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), QStringLiteral("Extracting Track 3...")), statuses.end());
    // Nothing in the main dialog changed.
    EXPECT_EQ(dialog->Tracks()->CheckedTracks(), (std::vector<int32_t>{1, 3}));
    EXPECT_TRUE(messages_.empty());
}

// AccurateRip knows the disc with other sums for every track: the run ends
// as usual, then one message names the tracks and the log.
TEST_F(RunTest, TracksAccurateRipDoesNotProveAreToldOnceWithTheLog) {
    auto dialog = ReadyDialog();
    const AccurateRipDiscId id = MakeAccurateRipDiscId(MakeDiscQuery(dialog->Drives().drives[0]));
    std::vector<uint8_t> file{static_cast<uint8_t>(id.audioTracks)};
    for (uint32_t word : {id.id1, id.id2, id.cddbId}) {
        for (int k = 0; k < 4; ++k) file.push_back(static_cast<uint8_t>(word >> (8 * k)));
    }
    for (uint32_t k = 0; k < id.audioTracks; ++k) file.insert(file.end(), {5, 1, 0, 0, 0, 0, 0, 0, 0});
    test::TempDir ar;
    std::filesystem::create_directories(std::filesystem::path(ar / id.FilePath()).parent_path());
    WriteFile(ar / id.FilePath(), std::string(file.begin(), file.end()));
    test::ScriptServer server(CADRIX_LOOKUP_PYTHON, {CADRIX_STATIC_SERVER_SCRIPT, ar.Path(), ar / "log"}, ar / "log");
    setenv("CADRIX_ACCURATERIP_SERVER", server.Url().c_str(), 1);
    SetChecked(*dialog, 1, false);  // track 2
    dialog->OnOK();
    setenv("CADRIX_ACCURATERIP_SERVER", "http://127.0.0.1:9", 1);
    const std::string log = out_.Path() + "/Bj__rk Tester - Demo Songs/Bj__rk Tester - Demo Songs.log";
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].toStdString(),
              "Tracks 1 and 3: AccurateRip does not know these rips' checksums: "
              "another pressing, or a damaged disc.\n\nSee the log: " +
                  log);
    EXPECT_TRUE(std::filesystem::exists(log));
}

TEST_F(RunTest, DiscChangeOnTheDriveBeingReadWaitsForTheRunsEnd) {
    auto dialog = ReadyDialog();
    bool checked = false;
    OnProgressDialog([&](ExtractDialog&) {
        // A longer disc, so the reads of the old one still succeed.
        fake_.SetToc(0, MakeToc({0, 30, 75, 135, 600}));
        fake_.SetDiscId(0, 0x5150);
        dialog->OnDeviceChange();
        EXPECT_EQ(dialog->Drives().drives[0].trackCount, 3);  // the record the worker reads stays
        EXPECT_EQ(dialog->Tracks()->topLevelItemCount(), 3);
        checked = true;
    });
    dialog->OnOK();
    EXPECT_TRUE(checked);
    // After the run the deferred re-read happened and the list shows it.
    EXPECT_EQ(dialog->Drives().drives[0].trackCount, 4);
    EXPECT_EQ(dialog->Tracks()->topLevelItemCount(), 4);
    EXPECT_EQ(dialog->CaptionField()->text(), QStringLiteral("Untitled Disc"));
}

TEST_F(RunTest, FailedRunStaysOpenWithFullBars) {
    auto dialog = ReadyDialog();
    fake_.FailReads(0, 1, -1);
    bool checked = false;
    OnProgressDialog([&](ExtractDialog& progress) {
        ASSERT_TRUE(
            WaitFor([&] { return progress.StatusLine()->text() == QStringLiteral("Audio extraction failed."); }));
        EXPECT_EQ(progress.CloseButton()->text(), QStringLiteral("Close"));
        EXPECT_EQ(progress.TrackProgress()->value(), progress.BarRange());
        EXPECT_EQ(progress.TotalProgress()->value(), progress.BarRange());
        EXPECT_EQ(progress.SoundsPlayed(), 1);
        QTest::qWait(300);
        EXPECT_TRUE(progress.isVisible());  // waits for Close
        progress.CloseButton()->click();
        EXPECT_FALSE(progress.isVisible());
        checked = true;
    });
    dialog->OnOK();
    EXPECT_TRUE(checked);
}

TEST_F(RunTest, AbortStopsTheWorkerAndClosesWithinAboutASecond) {
    auto dialog = ReadyDialog();
    fake_.BlockOnRead(0, 1);
    // The worker's read stays blocked until the dialog has given up waiting:
    // the dialog must close without the worker having ended.
    std::atomic<bool> dialogClosed{false};
    std::atomic<bool> released{false};
    std::thread release([&] {
        while (!dialogClosed.load()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        released = true;
        fake_.ReleaseBlockedRead();
    });
    bool checked = false;
    OnProgressDialog([&](ExtractDialog& progress) {
        ASSERT_TRUE(WaitFor([&] { return fake_.WaitForBlockedRead(10); }));
        ASSERT_TRUE(WaitFor([&] { return progress.StatusLine()->text() == QStringLiteral("Extracting Track 1..."); }));
        progress.CloseButton()->click();
        EXPECT_FALSE(released.load());
        EXPECT_FALSE(progress.isVisible());
        EXPECT_EQ(progress.StatusLine()->text(), QStringLiteral("Aborting audio extraction..."));
        EXPECT_EQ(progress.SoundsPlayed(), 0);
        checked = true;
        dialogClosed = true;
    });
    dialog->OnOK();
    dialogClosed = true;
    release.join();
    EXPECT_TRUE(checked);
}

TEST_F(RunTest, EscapeAbortsWithoutTheAbortingTextAndShowsTheAmpersand) {
    auto dialog = ReadyDialog({WMA_MODULE_FILE});
    SelectFormat(*dialog, FORMAT_WMA);
    plugin_.Reset();
    fake_.BlockOnRead(0, 1);
    bool checked = false;
    OnProgressDialog([&](ExtractDialog& progress) {
        ASSERT_TRUE(WaitFor([&] { return fake_.WaitForBlockedRead(10); }));
        ASSERT_TRUE(WaitFor(
            [&] { return progress.StatusLine()->text() == QStringLiteral("Extracting & Compressing Track 1..."); }));
        EXPECT_EQ(progress.StatusLine()->textFormat(), Qt::PlainText);
        QTest::keyClick(&progress, Qt::Key_Escape);
        EXPECT_EQ(progress.StatusLine()->text(), QStringLiteral("Extracting & Compressing Track 1..."));
        EXPECT_FALSE(progress.isVisible());
        checked = true;
    });
    // The main window is back while the worker still waits in its read; the
    // run ends once the worker does.
    dialog->OnOK();
    EXPECT_TRUE(checked);
    EXPECT_FALSE(dialog->ExtractButton()->isEnabled());
    fake_.ReleaseBlockedRead();
    EXPECT_TRUE(WaitFor([&] { return dialog->ExtractButton()->isEnabled(); }));
    // The plug-in was opened with the WMA quality code and closed again.
    EXPECT_EQ(plugin_.CallCount("OpenOutput"), 1);
    EXPECT_EQ(plugin_.CallCount("CloseOutput"), 1);
    EXPECT_EQ(plugin_.LogEntry(0).qualityCode, 5);
}

TEST(DialogLayout, DialogUnitsMapLikeWindows) {
    const DluMapper dlu(6, 13);
    EXPECT_EQ(dlu.Rect(14, 45, 327, 120), QRect(21, 73, 491, 195));
    EXPECT_EQ(dlu.Size(356, 265), QSize(534, 431));
    EXPECT_EQ(DluMapper::MulDiv(7, 13, 8), 11);  // 11.375
    EXPECT_EQ(DluMapper::MulDiv(5, 6, 4), 8);    // 7.5 rounds up
    const QFontInfo info(DialogTemplateFont());
    EXPECT_TRUE(info.family() == QStringLiteral("Liberation Sans") || info.family() == QStringLiteral("DejaVu Sans"))
        << info.family().toStdString() << ": install fonts-liberation2";
}

TEST(DialogLayout, AboutBoxHasItsThreeLinesAndOk) {
    AboutDialog about;
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Cadrix"));
    const auto labels = about.findChildren<QLabel*>();
    std::vector<QString> texts;
    for (QLabel* label : labels) {
        if (!label->text().isEmpty()) texts.push_back(label->text());
    }
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0], QStringLiteral("Cadrix version " CADRIX_PROJECT_VERSION));  // the build's version
    QTimer::singleShot(20, &about, [&] { QTest::keyClick(&about, Qt::Key_Escape); });
    about.exec();
}

TEST(AlertSoundTest, SilentWithoutASoundServer) {
    unsetenv("PULSE_SERVER");  // and the test's runtime folder has no server socket
    EXPECT_FALSE(SoundServerReachable());
    AlertSound sound;
    for (int i = 0; i < 5; ++i) sound.Play();  // returns at once, plays nothing
    EXPECT_FALSE(sound.IsPlaying());
}

TEST(DocumentsFolder, HomeStandsInUntilTheDocumentsFolderExists) {
    const std::string home = getenv("HOME");
    std::filesystem::create_directories(home);
    std::error_code ec;
    std::filesystem::remove_all(home + "/Documents", ec);
    // ~/My Music can be created one level below home on a fresh account.
    EXPECT_EQ(UserDocumentsFolder(), QString::fromStdString(home));
    std::filesystem::create_directories(home + "/Documents");
    EXPECT_EQ(UserDocumentsFolder(), QString::fromStdString(home + "/Documents"));
    std::filesystem::remove_all(home + "/Documents", ec);
}

TEST(DiscText, Utf8ElseWindows1252) {
    EXPECT_EQ(DecodeDiscText("Caf\xc3\xa9"), QStringLiteral("Caf\u00e9"));
    EXPECT_EQ(DecodeDiscText("Caf\xe9"), QStringLiteral("Caf\u00e9"));
    EXPECT_EQ(DecodeDiscText("\x80\x99\x9f"), QStringLiteral("\u20ac\u2122\u0178"));
    EXPECT_EQ(DecodeDiscText(""), QString());
    // A UTF-8 text cut inside its last character keeps the characters before.
    EXPECT_EQ(DecodeDiscText("Gr\xc3\xbc\xc3"), QStringLiteral("Gr\u00fc"));
}

}  // namespace
}  // namespace cadrix
