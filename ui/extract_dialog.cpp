#include "extract_dialog.h"

#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimerEvent>

#include "alert_sound.h"
#include "app_icon.h"
#include "dlu_layout.h"

namespace cadrix {

namespace {

QProgressBar* SmoothBar(QWidget* parent, const QRect& rect) {
    auto* bar = new QProgressBar(parent);
    bar->setTextVisible(false);
    bar->setGeometry(rect);
    bar->setRange(0, 0);
    bar->setValue(0);
    return bar;
}

QLabel* PlainLabel(const QString& text, QWidget* parent, const QRect& rect) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);  // "&" stays a literal ampersand
    label->setGeometry(rect);
    return label;
}

}  // namespace

ExtractDialog::ExtractDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Extracting Audio"));
    setWindowIcon(AppIcon());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);
    setFont(DialogTemplateFont());
    const DluMapper dlu(font());
    setFixedSize(dlu.Size(223, 124));

    auto* progressGroup = new QGroupBox(QStringLiteral("Progress"), this);
    progressGroup->setGeometry(dlu.Rect(7, 7, 208, 59));
    PlainLabel(QStringLiteral("Current Track:"), this, dlu.Rect(13, 17, 53, 8));
    trackProgress = SmoothBar(this, dlu.Rect(14, 27, 195, 10));
    PlainLabel(QStringLiteral("Total:"), this, dlu.Rect(13, 40, 19, 8));
    totalProgress = SmoothBar(this, dlu.Rect(14, 50, 195, 10));
    auto* statusGroup = new QGroupBox(QStringLiteral("Status"), this);
    statusGroup->setGeometry(dlu.Rect(7, 68, 208, 27));
    status_ = PlainLabel(QStringLiteral("Status:"), this, dlu.Rect(13, 79, 194, 9));
    status_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    closeButton = new QPushButton(QStringLiteral("Close"), this);
    closeButton->setGeometry(dlu.Rect(86, 103, 50, 14));
    closeButton->setDefault(true);
    connect(closeButton, &QPushButton::clicked, this, &ExtractDialog::accept);

    progressGroup->lower();
    statusGroup->lower();
    // The frames one pixel wider, the button one pixel to the right.
    for (QWidget* frame : {static_cast<QWidget*>(progressGroup), static_cast<QWidget*>(statusGroup)}) {
        frame->resize(frame->width() + 1, frame->height());
    }
    closeButton->move(closeButton->pos() + QPoint(1, 0));
}

ExtractDialog::~ExtractDialog() { OnDestroy(); }

int ExtractDialog::Run() {
    OnInitDialog();
    return exec();
}

void ExtractDialog::OnInitDialog() {
    // The bar's client area: inside its one-pixel border.
    barRange = std::max(1, totalProgress->width() - 2);
    trackProgress->setRange(0, barRange);
    totalProgress->setRange(0, barRange);
    if (job == nullptr) {
        status_->setText(QString::fromUtf8(STATUS_NO_TIMER));
        return;
    }
    run_ = &job->Run();
    pollTimerId = startTimer(EXTRACT_TIMER_PERIOD_MS);
    run_->Begin(barRange, pollTimerId != 0);
    Render();
}

void ExtractDialog::timerEvent(QTimerEvent* event) {
    if (pollTimerId != 0 && event->timerId() == pollTimerId) {
        PollWorker();
        return;
    }
    QDialog::timerEvent(event);
}

void ExtractDialog::PollWorker() {
    const PollOutcome outcome = run_->PollWorker();
    if (!run_->TimerWanted() && pollTimerId != 0) {
        killTimer(pollTimerId);
        pollTimerId = 0;
    }
    Render();
    switch (outcome.event) {
        case PollEvent::Completed:
            PlaySound();
            accept();  // no worker runs now: this closes the dialog at once
            break;
        case PollEvent::Failed:
            if (outcome.playSound) PlaySound();
            break;
        default: break;
    }
}

void ExtractDialog::Render() {
    if (!run_) return;
    status_->setText(QString::fromStdString(run_->StatusText()));
    // The status line keeps its short text; why a run failed is its tooltip.
    if (run_->State() == RunState::Failed && run_->FailedTrack() != 0) {
        status_->setToolTip(
            QStringLiteral("Track %1: %2").arg(run_->FailedTrack()).arg(QString::fromStdString(run_->FailureReason())));
    }
    closeButton->setText(QString::fromUtf8(run_->ButtonText()));
    trackProgress->setValue(static_cast<int>(std::min<uint32_t>(run_->TrackPosition(), barRange)));
    totalProgress->setValue(static_cast<int>(std::min<uint32_t>(run_->TotalPosition(), barRange)));
}

void ExtractDialog::PlaySound() {
    ++soundsPlayed_;
    AlertSound::Instance().Play();
}

void ExtractDialog::accept() {
    if (run_) {
        run_->RequestAbort(true);
        Render();
    }
    QDialog::accept();
}

void ExtractDialog::reject() {
    if (run_) run_->RequestAbort(false);
    QDialog::reject();
}

void ExtractDialog::done(int result) {
    QDialog::done(result);
    OnDestroy();
}

void ExtractDialog::OnDestroy() {
    if (destroyed_) return;
    destroyed_ = true;
    if (pollTimerId != 0) killTimer(pollTimerId);
    pollTimerId = 0;
    // The worker is told to stop, not waited for: the main dialog finishes
    // the run once it has ended.
    if (run_ && !run_->Finished()) run_->RequestAbort(false);
}

}  // namespace cadrix
