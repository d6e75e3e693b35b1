// "Extracting Audio": the progress dialog whose 100 ms timer drives an
// extraction run (ExtractionRun) and shows its status and two bars.
#pragma once

#include <QDialog>

#include <memory>

#include "rip/extraction_job.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace cadrix {

inline constexpr int EXTRACT_TIMER_PERIOD_MS = 100;

class ExtractDialog : public QDialog {
    Q_OBJECT
public:
    explicit ExtractDialog(QWidget* parent = nullptr);
    ~ExtractDialog() override;

    // Set by the main dialog before Run(); not owned.
    ExtractionJob* job = nullptr;

    // Initialises the run and shows the dialog modally until it closes.
    int Run();

    QPushButton* CloseButton() const { return closeButton; }
    QProgressBar* TotalProgress() const { return totalProgress; }
    QProgressBar* TrackProgress() const { return trackProgress; }
    QLabel* StatusLine() const { return status_; }
    int32_t BarRange() const { return barRange; }
    const ExtractionRun* RunLogic() const { return run_; }
    // How often the completion sound was started (tests).
    int SoundsPlayed() const { return soundsPlayed_; }

public slots:
    void accept() override;  // the button (Abort / Close) and Enter
    void reject() override;  // Esc and the close box
    void done(int result) override;

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void OnInitDialog();
    void PollWorker();
    void Render();
    void PlaySound();
    void OnDestroy();

    QPushButton* closeButton = nullptr;
    QProgressBar* totalProgress = nullptr;
    QProgressBar* trackProgress = nullptr;
    QLabel* status_ = nullptr;
    ExtractionRun* run_ = nullptr;  // the job's
    int32_t barRange = 0;
    int pollTimerId = 0;
    int soundsPlayed_ = 0;
    bool destroyed_ = false;
};

}  // namespace cadrix
