// The main dialog: one tab per CD drive, the selected drive's tracks in a
// check-box list, the base output folder, the output format and quality with
// the disk-space estimate, and Extract, which runs the progress dialog.
// It owns the drive set, the plug-in modules and the settings for its life.
#pragma once

#include <QDialog>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "disc/drive_set.h"
#include "names/disc_namer.h"
#include "output/output_format.h"
#include "util/module_loader.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidgetItem;

namespace cadrix {

class ExtractionJob;

class DiscMonitor;
class DluMapper;
class QualitySlider;
class TabPane;
class TrackList;

inline constexpr int QUALITY_TIMER_PERIOD_MS = 100;
inline constexpr const char* BROWSE_TITLE = "Select the base output folder for extracted audio files:";
inline constexpr const char* MSG_AKRIP_FAILED = "Could not initialize AKRip library.";
inline constexpr const char* MSG_NO_TRACKS = "No tracks selected.";
inline constexpr const char* MSG_NO_OUTPUT_PATH = "Please specify a base output path.";

class MainDialog : public QDialog {
    Q_OBJECT
public:
    // Loads a plug-in module by file name; replaceable so tests decide which
    // plug-ins exist.
    using ModuleLoader = std::function<ModuleHandle(std::string_view fileName)>;
    // Asks for a folder, starting in `start`; returns the chosen path or an
    // empty string.
    using FolderChooser = std::function<QString(QWidget* parent, const QString& start)>;
    // The user's documents folder (empty when unknown).
    using DocumentsFolder = std::function<QString()>;
    // Picks one of several releases found online for the disc in `drive`
    // (-1: none).
    using ReleasePicker = std::function<int(int drive, const std::vector<ReleaseCandidate>& releases)>;

    explicit MainDialog(QWidget* parent = nullptr);
    ~MainDialog() override;

    void SetModuleLoader(ModuleLoader loader) { loadModule_ = std::move(loader); }
    void SetFolderChooser(FolderChooser chooser) { chooseFolder_ = std::move(chooser); }
    void SetDocumentsFolder(DocumentsFolder folder) { documentsFolder_ = std::move(folder); }
    void SetReleasePicker(ReleasePicker picker) { pickRelease_ = std::move(picker); }
    // Watch for disc changes (udev and the virtual drive folders); off in
    // tests that drive OnDeviceChange themselves.
    void SetWatchDevices(bool watch) { watchDevices_ = watch; }

    // Start-up. False when the CD extraction library could not be set up:
    // the message has been shown and the program is to end.
    bool OnInitDialog();
    // Extract (the button and Enter); never ends the dialog.
    void OnOK();
    void OnBrowse();
    void OnDeviceChange();
    void OnDriveTabChanged(int index);
    void OnTrackItemChanged();
    void OnFormatChanged(int index);
    void PollQuality();
    // Saves and shows the names a finished online lookup found.
    void PollNames();
    // Shutdown: timer, plug-ins, drives, settings. Runs once.
    void OnDestroy();

    void FillTrackList();
    // The list's titles and the caption from the record again; rows, check
    // boxes and the estimate stay.
    void RefreshNames();
    void UpdateQualityControls();
    void LoadSettings();
    void SaveSettings();
    void UpdateSpaceEstimate();
    void ShowAbout();

    // State and controls, for the application and for tests.
    DriveSet& Drives() { return drives; }
    int32_t Format() const { return format; }
    // The kept slider position of `outputFormat`.
    int32_t Quality(int32_t outputFormat) const { return quality[static_cast<size_t>(outputFormat)]; }
    const std::string& OutputDir() const { return outputDir; }
    // The loaded plug-in module of `outputFormat`; null for WAVE or when the
    // module is not there.
    void* ModuleOf(int32_t outputFormat) const;
    int TimerId() const { return timerId; }
    TabPane* DriveTabs() const { return driveTabs_; }
    TrackList* Tracks() const { return trackList_; }
    QLineEdit* CaptionField() const { return caption_; }
    QLineEdit* SpaceField() const { return spaceText_; }
    QLineEdit* OutputDirField() const { return outputField_; }
    QComboBox* FormatList() const { return formatList_; }
    QualitySlider* Slider() const { return slider_; }
    QGroupBox* QualityGroup() const { return qualityGroup_; }
    QPushButton* ExtractButton() const { return extractButton_; }
    QPushButton* BrowseButton() const { return browseButton_; }
    QLabel* CoverThumbnail() const { return cover_; }
    QLabel* SubmissionLink() const { return submitLink_; }

public slots:
    void accept() override;  // Enter without a default button: Extract
    void done(int result) override;

protected:
    void timerEvent(QTimerEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void CreateControls();
    void CreateDiscControls(const DluMapper& dlu);
    void CreateOutputControls(const DluMapper& dlu);
    void CreateFrames(const DluMapper& dlu);
    void ConnectControls();
    void StyleControls();
    void SetTrackColumns();
    void ReadDrives();
    void RestoreFormat();
    // After a run: its log into the disc's folder, and one message when
    // AccurateRip does not prove a track.
    void ReportVerification(ExtractionJob& job);
    // Ends the run of finishing_ once its worker has ended: the log, the
    // drive given back, the list refilled if the disc changed.
    void PollFinishingRun();
    void FillFormatList();
    void SetOutputDir(const std::string& dir);
    int32_t* KeptPosition();
    // True while a dialog other than this one (Browse, About, a message) or
    // a pop-up menu is up: nothing else may open over it.
    bool OtherDialogUp() const;
    // "the disc in <drive name> (12 tracks, 45:03)", for the release chooser.
    std::string DiscDescription(int drive) const;
    // Beside the space estimate: the disc's cover, when Cadrix keeps one for
    // it, and for a disc no source names the link that adds it to MusicBrainz.
    void CreateDiscExtras(const class DluMapper& dlu);
    void ShowDiscExtras();

    // Controls, in template order.
    TrackList* trackList_ = nullptr;
    QLineEdit* caption_ = nullptr;
    QLineEdit* spaceText_ = nullptr;
    TabPane* driveTabs_ = nullptr;
    QPushButton* browseButton_ = nullptr;
    QComboBox* formatList_ = nullptr;
    QualitySlider* slider_ = nullptr;
    QPushButton* extractButton_ = nullptr;
    QGroupBox* outputGroup_ = nullptr;
    QLineEdit* outputField_ = nullptr;
    QGroupBox* formatGroup_ = nullptr;
    QGroupBox* qualityGroup_ = nullptr;
    QLabel* cover_ = nullptr;
    QLabel* submitLink_ = nullptr;

    DriveSet drives;
    std::string outputDir;
    int32_t format = 0;
    int32_t suiteFormat_ = 0;  // what the suite's stored format keeps while `format` is one it lacks
    QualityPositions quality = DefaultQualityPositions();
    int32_t listFilling = 0;
    int timerId = 0;
    // The plug-in modules by file name, each loaded once.
    std::vector<std::pair<std::string, ModuleHandle>> modules_;

    bool initialised_ = false;
    bool destroyed_ = false;
    bool watchDevices_ = true;
    ModuleLoader loadModule_;
    FolderChooser chooseFolder_;
    DocumentsFolder documentsFolder_;
    DiscMonitor* discMonitor_ = nullptr;
    ReleasePicker pickRelease_;
    std::unique_ptr<DiscNamer> namer_;
    bool onlineLookup_ = true;                  // the setting, kept as it was loaded
    bool extracting_ = false;                   // a run is on, or its worker has not ended yet
    std::unique_ptr<ExtractionJob> finishing_;  // the last run, until its worker has ended
    bool pollingNames_ = false;
};

}  // namespace cadrix
