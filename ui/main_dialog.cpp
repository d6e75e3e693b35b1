#include "main_dialog.h"

#include <algorithm>

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QStandardPaths>
#include <QTimerEvent>

#include "about_dialog.h"
#include "app_icon.h"
#include "disc/disc_model.h"
#include "disc_monitor.h"
#include "disc_text.h"
#include "dlu_layout.h"
#include "documents_folder.h"
#include "extract_dialog.h"
#include "folder_chooser.h"
#include "message_box.h"
#include "names/drive_names.h"
#include "output/output_format.h"
#include "output/space_estimate.h"
#include "quality_slider.h"
#include "release_chooser.h"
#include "rip/extraction_job.h"
#include "rip/rip_log.h"
#include "settings/settings.h"
#include "tab_pane.h"
#include "track_list.h"

namespace cadrix {

namespace {

std::string ToBytes(const QString& path) { return QFile::encodeName(path).toStdString(); }
QString FromBytes(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

}  // namespace

MainDialog::MainDialog(QWidget* parent) : QDialog(parent) {
    loadModule_ = [](std::string_view fileName) { return LoadModule(fileName); };
    chooseFolder_ = &ChooseFolderWithQtDialog;
    documentsFolder_ = &UserDocumentsFolder;
    pickRelease_ = [this](int drive, const std::vector<ReleaseCandidate>& releases) {
        return ReleaseChooser::Ask(releases, this, DecodeDiscText(DiscDescription(drive)));
    };
    setWindowTitle(QStringLiteral("Cadrix"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFont(DialogTemplateFont());
    CreateControls();
}

MainDialog::~MainDialog() { OnDestroy(); }

bool MainDialog::OnInitDialog() {
    // The "About" entry lives in the dialog's context menu (contextMenuEvent).
    setWindowIcon(AppIcon());

    if (!drives.InitAKRip()) {
        ShowMessage(this, QString::fromUtf8(MSG_AKRIP_FAILED));
        return false;
    }
    StyleControls();
    SetTrackColumns();
    ReadDrives();
    RestoreFormat();

    slider_->InitTip();
    UpdateQualityControls();
    UpdateSpaceEstimate();
    timerId = startTimer(QUALITY_TIMER_PERIOD_MS);
    // Discs no database file names are named online while the dialog runs.
    namer_ = std::make_unique<DiscNamer>(drives, LookupSettings::FromEnvironment(onlineLookup_));
    namer_->ConsiderAll();

    if (watchDevices_) {
        discMonitor_ = new DiscMonitor(this);
        connect(discMonitor_, &DiscMonitor::deviceChanged, this, &MainDialog::OnDeviceChange);
        discMonitor_->Start();
    }
    initialised_ = true;
    return true;
}

// The database folder, a tab per drive and every drive's disc; the list
// shows the first drive.
void MainDialog::ReadDrives() {
    listFilling = 1;
    ReadDataDir(drives);
    {
        const QSignalBlocker block(driveTabs_->Bar());
        for (int k = 0; k < drives.driveCount; ++k) {
            driveTabs_->Bar()->addTab(DecodeDiscText(drives.drives[static_cast<size_t>(k)].name));
            drives.ReadDisc(k);
        }
        driveTabs_->Bar()->setCurrentIndex(0);
    }
    drives.currentDrive = 0;
    FillTrackList();
}

// The format list and the stored settings; a stored format whose plug-in is
// missing falls back to WAVE.
void MainDialog::RestoreFormat() {
    const QSignalBlocker block(formatList_);
    FillFormatList();
    LoadSettings();

    const int entry = formatList_->findData(format);
    if (entry >= 0) {
        formatList_->setCurrentIndex(entry);
    } else {
        formatList_->setCurrentIndex(0);
        format = suiteFormat_ = FORMAT_PCM;
    }
}

// WAVE always; every other format when its plug-in module loads.
void MainDialog::FillFormatList() {
    for (const OutputFormatInfo& info : OutputFormats()) {
        if (info.IsPlugin()) {
            auto known = std::find_if(modules_.begin(), modules_.end(),
                                      [&info](const auto& entry) { return entry.first == info.moduleFile; });
            if (known == modules_.end()) {
                modules_.emplace_back(info.moduleFile, loadModule_(info.moduleFile));
            }
        }
        if (!info.IsPlugin() || ModuleOf(info.format) != nullptr) {
            formatList_->addItem(QString::fromUtf8(info.listText), info.format);
        }
    }
}

void* MainDialog::ModuleOf(int32_t outputFormat) const {
    const OutputFormatInfo* info = FindOutputFormat(outputFormat);
    if (info == nullptr || !info->IsPlugin()) return nullptr;
    for (const auto& [file, module] : modules_) {
        if (file == info->moduleFile) return module.get();
    }
    return nullptr;
}

void MainDialog::FillTrackList() {
    listFilling = 1;
    trackList_->clear();
    const DriveRecord& record = drives.drives[static_cast<size_t>(drives.currentDrive)];
    const TrackListing listing = cadrix::FillTrackList(record);
    QList<QTreeWidgetItem*> items;
    for (const TrackRow& row : listing.rows) {
        auto* item = new QTreeWidgetItem;
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setText(0, QString::fromStdString(row.number));
        TrackList::SetTitle(item, DecodeDiscText(row.title));
        item->setText(2, QString::fromStdString(row.duration));
        item->setTextAlignment(2, Qt::AlignCenter);
        item->setData(0, Qt::UserRole, row.itemData);
        item->setCheckState(0, row.checked ? Qt::Checked : Qt::Unchecked);
        items.append(item);
    }
    trackList_->addTopLevelItems(items);
    caption_->setText(DecodeDiscText(listing.caption));
    caption_->setCursorPosition(0);
    ShowDiscExtras();
    listFilling = 0;
}

void MainDialog::OnDriveTabChanged(int index) {
    if (index < 0 || index == drives.currentDrive || index >= drives.driveCount) return;
    drives.currentDrive = index;
    FillTrackList();
    UpdateSpaceEstimate();
}

void MainDialog::OnTrackItemChanged() {
    if (listFilling != 0) return;
    DriveRecord& record = drives.drives[static_cast<size_t>(drives.currentDrive)];
    for (int i = 0; i < trackList_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = trackList_->topLevelItem(i);
        const int32_t track = TrackList::ItemData(item);
        if (track < 0 || track >= TRACK_SLOTS) continue;  // row "0": the hidden track one audio
        record.tracks[static_cast<size_t>(track)].selected = item->checkState(0) == Qt::Checked ? 1 : 0;
    }
    UpdateSpaceEstimate();
}

void MainDialog::OnFormatChanged(int index) {
    if (index < 0) return;
    const int32_t chosen = formatList_->itemData(index).toInt();
    if (chosen == format) return;
    format = chosen;
    if (IsSuiteFormat(chosen)) suiteFormat_ = chosen;
    UpdateQualityControls();
    UpdateSpaceEstimate();
}

int32_t* MainDialog::KeptPosition() {
    const OutputFormatInfo* info = FindOutputFormat(format);
    if (info == nullptr || !info->HasQuality()) return nullptr;
    return &quality[static_cast<size_t>(format)];
}

void MainDialog::UpdateQualityControls() {
    if (int32_t* kept = KeptPosition()) {
        slider_->SetFormat(format, *kept);
        slider_->setEnabled(true);
        qualityGroup_->setEnabled(true);
    } else {
        slider_->SetFormat(format, 0);
        slider_->setEnabled(false);
        qualityGroup_->setEnabled(false);
    }
}

void MainDialog::PollQuality() {
    int32_t* kept = KeptPosition();
    if (kept == nullptr) return;
    const int position = slider_->value();
    if (position == *kept) return;
    *kept = position;
    slider_->UpdateTip();
    UpdateSpaceEstimate();
}

void MainDialog::timerEvent(QTimerEvent* event) {
    if (timerId != 0 && event->timerId() == timerId) {
        PollFinishingRun();
        PollQuality();
        PollNames();
        return;
    }
    QDialog::timerEvent(event);
}

void MainDialog::UpdateSpaceEstimate() {
    const DriveRecord& record = drives.drives[static_cast<size_t>(drives.currentDrive)];
    uint64_t total = 0;
    for (int i = 0; i < trackList_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = trackList_->topLevelItem(i);
        if (item->checkState(0) != Qt::Checked) continue;
        const int32_t track = TrackList::ItemData(item);
        if (track < 0 || track >= TRACK_SLOTS) continue;  // row "0": the hidden track one audio
        total += EstimatedTrackBytes(format, quality, record.tracks[static_cast<size_t>(track)].lengthMs);
    }
    spaceText_->setText(QString::fromStdString(SpaceEstimateText(format, total)));
    spaceText_->setCursorPosition(0);
}

void MainDialog::SetOutputDir(const std::string& dir) {
    outputDir = dir;
    const QString text = FromBytes(dir);
    outputField_->setText(text);
    // Caret before the last character, so the end of a long path shows.
    outputField_->setCursorPosition(text.isEmpty() ? 0 : static_cast<int>(text.size()) - 1);
}

void MainDialog::LoadSettings() {
    const CadrixSettings settings = LoadSettingsFile(SettingsFilePath(),
                                                     ToBytes(documentsFolder_ ? documentsFolder_() : QString()));
    format = settings.format;
    suiteFormat_ = settings.suiteFormat;
    quality = settings.quality;
    onlineLookup_ = settings.onlineLookup;
    SetOutputDir(settings.outputDir);
}

void MainDialog::SaveSettings() {
    CadrixSettings settings;
    settings.format = format;
    settings.suiteFormat = suiteFormat_;
    settings.quality = quality;
    settings.outputDir = outputDir;
    settings.onlineLookup = onlineLookup_;
    SaveSettingsFile(SettingsFilePath(), settings);  // a refused save is silent
}

void MainDialog::OnBrowse() {
    const QString chosen = chooseFolder_ ? chooseFolder_(this, FromBytes(outputDir)) : QString();
    if (chosen.isEmpty()) return;
    SetOutputDir(ToBytes(chosen));
}

void MainDialog::OnOK() {
    if (!initialised_ || destroyed_ || finishing_) return;
    if (trackList_->CheckedTracks().empty()) {
        ShowMessage(this, QString::fromUtf8(MSG_NO_TRACKS));
        return;
    }
    if (outputDir.empty()) {
        ShowMessage(this, QString::fromUtf8(MSG_NO_OUTPUT_PATH));
        return;
    }

    JobRequest request;
    request.baseFolder = outputDir;
    request.format = format;
    request.qualityPosition = quality[static_cast<size_t>(format)];
    request.pluginModule = ModuleOf(format);
    request.verifyOnline = onlineLookup_;
    request.settingsPath = SettingsFilePath();
    std::string error;
    // A run that cannot be set up shows nothing; the list stays as it is.
    auto job = ExtractionJob::Start(drives, drives.currentDrive, request, error);
    if (!job) {
        if (namer_) namer_->ConsiderAll();
        return;
    }
    extracting_ = true;
    {
        ExtractDialog progress(this);
        progress.job = job.get();
        progress.Run();
    }
    // An aborted run's worker may still be inside a read: it is left to end
    // on its own while the window stays responsive (PollFinishingRun).
    finishing_ = std::move(job);
    PollFinishingRun();
    if (finishing_) extractButton_->setEnabled(false);
}

void MainDialog::PollFinishingRun() {
    if (!finishing_) return;
    ExtractionRun& run = finishing_->Run();
    if (!run.Finished()) run.PollWorker();
    if (!run.Finished()) return;
    std::unique_ptr<ExtractionJob> job = std::move(finishing_);
    extracting_ = false;
    extractButton_->setEnabled(true);
    ReportVerification(*job);
    if (job->End()) {
        FillTrackList();
        UpdateSpaceEstimate();
    }
    if (namer_) namer_->ConsiderAll();
}

void MainDialog::ReportVerification(ExtractionJob& job) {
    std::string path;
    std::string error;
    job.WriteCueSheet(path, error);  // a whole-disc rip's sheet; the log names it or says why not
    if (!job.WriteLog(path, error)) path.clear();
    const RunTally tally = TallyRun(job.Session());
    // Once, after the run, when AccurateRip knows other sums for a track.
    if (!tally.notAccurate.empty()) ShowMessage(this, FromBytes(NotAccurateMessage(tally, path, error)));
}

void MainDialog::OnDeviceChange() {
    if (!initialised_ || destroyed_) return;
    if (drives.ProbeDiscChange()) {
        FillTrackList();
        UpdateSpaceEstimate();
    }
    if (namer_) namer_->ConsiderAll();
}

void MainDialog::ShowAbout() {
    AboutDialog about(this);
    about.exec();
}

void MainDialog::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(QStringLiteral("&About Cadrix..."), this, &MainDialog::ShowAbout);
    menu.exec(event->globalPos());
}

void MainDialog::accept() { OnOK(); }

void MainDialog::done(int result) {
    QDialog::done(result);
    OnDestroy();
}

void MainDialog::OnDestroy() {
    if (destroyed_) return;
    destroyed_ = true;
    if (timerId != 0) killTimer(timerId);
    timerId = 0;
    if (discMonitor_ != nullptr) discMonitor_->Stop();
    if (finishing_) finishing_->End();  // the run was aborted: its worker ends at once
    finishing_.reset();
    namer_.reset();  // stops the lookups still running
    modules_.clear();
    drives.Release();
    if (initialised_) SaveSettings();
}

}  // namespace cadrix
