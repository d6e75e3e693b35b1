// The main dialog's controls: made in tab order, placed in dialog units,
// styled and connected.
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>

#include "app_icon.h"
#include "dlu_layout.h"
#include "main_dialog.h"
#include "quality_slider.h"
#include "tab_pane.h"
#include "track_list.h"

namespace cadrix {

namespace {

QLineEdit* ReadOnlyField(QWidget* parent, Qt::Alignment alignment) {
    auto* field = new QLineEdit(parent);
    field->setReadOnly(true);
    field->setAlignment(alignment);
    // A read-only edit is drawn on the dialog's face colour.
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    field->setPalette(palette);
    // Not a tab stop; a click still puts the caret in it for copying.
    field->setFocusPolicy(Qt::ClickFocus);
    return field;
}

void Nudge(QWidget* widget, int dx, int dy) { widget->move(widget->pos() + QPoint(dx, dy)); }

}  // namespace

void MainDialog::CreateControls() {
    const DluMapper dlu(font());
    setFixedSize(dlu.Size(356, 265));

    // Template order is the tab order; the frames (tab pane, group boxes)
    // are lowered below the controls they enclose afterwards.
    CreateDiscControls(dlu);
    CreateOutputControls(dlu);
    CreateFrames(dlu);
    ConnectControls();
}

void MainDialog::CreateDiscControls(const DluMapper& dlu) {
    trackList_ = new TrackList(this);
    trackList_->setGeometry(dlu.Rect(14, 45, 327, 120));

    caption_ = ReadOnlyField(this, Qt::AlignCenter);
    caption_->setGeometry(dlu.Rect(14, 26, 327, 13));

    spaceText_ = ReadOnlyField(this, Qt::AlignLeft | Qt::AlignVCenter);
    spaceText_->setGeometry(dlu.Rect(14, 171, 150, 12));

    driveTabs_ = new TabPane(this);
    driveTabs_->setGeometry(dlu.Rect(7, 7, 341, 184));
    driveTabs_->Bar()->setFocusPolicy(Qt::ClickFocus);  // not a tab stop either
}

void MainDialog::CreateOutputControls(const DluMapper& dlu) {
    browseButton_ = new QPushButton(QStringLiteral("Browse"), this);
    browseButton_->setGeometry(dlu.Rect(298, 204, 42, 13));
    browseButton_->setAutoDefault(false);

    formatList_ = new QComboBox(this);
    const QRect comboRect = dlu.Rect(14, 238, 143, 80);
    formatList_->setGeometry(comboRect.x(), comboRect.y(), comboRect.width(), formatList_->sizeHint().height());
    formatList_->setMaxVisibleItems(8);

    slider_ = new QualitySlider(this);
    slider_->setGeometry(dlu.Rect(178, 238, 107, 12));

    extractButton_ = new QPushButton(QStringLiteral("Extract"), this);
    extractButton_->setGeometry(dlu.Rect(298, 231, 50, 27));
    extractButton_->setDefault(true);
}

void MainDialog::CreateFrames(const DluMapper& dlu) {
    outputGroup_ = new QGroupBox(QStringLiteral("Base Output Path"), this);
    outputGroup_->setGeometry(dlu.Rect(7, 194, 341, 31));

    outputField_ = ReadOnlyField(this, Qt::AlignCenter);
    outputField_->setGeometry(dlu.Rect(14, 204, 277, 13));

    formatGroup_ = new QGroupBox(QStringLiteral("Output Format"), this);
    formatGroup_->setGeometry(dlu.Rect(7, 227, 157, 31));

    qualityGroup_ = new QGroupBox(QStringLiteral("Output Quality"), this);
    qualityGroup_->setGeometry(dlu.Rect(172, 227, 119, 31));

    CreateDiscExtras(dlu);

    for (QWidget* frame : {static_cast<QWidget*>(qualityGroup_), static_cast<QWidget*>(formatGroup_),
                           static_cast<QWidget*>(outputGroup_), static_cast<QWidget*>(driveTabs_)}) {
        frame->lower();
    }
}

void MainDialog::ConnectControls() {
    connect(driveTabs_->Bar(), &QTabBar::currentChanged, this, &MainDialog::OnDriveTabChanged);
    connect(trackList_, &QTreeWidget::itemChanged, this, [this] { OnTrackItemChanged(); });
    connect(trackList_, &QTreeWidget::currentItemChanged, this, [this] { OnTrackItemChanged(); });
    connect(formatList_, &QComboBox::currentIndexChanged, this, &MainDialog::OnFormatChanged);
    connect(browseButton_, &QPushButton::clicked, this, &MainDialog::OnBrowse);
    connect(extractButton_, &QPushButton::clicked, this, &MainDialog::OnOK);
    // There is no window menu to hold "About" on Linux: F1 and the context
    // menu open it.
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, &MainDialog::ShowAbout);
}

void MainDialog::StyleControls() {
    QPalette listPalette = trackList_->palette();
    listPalette.setColor(QPalette::Base, Qt::white);
    listPalette.setColor(QPalette::Text, Qt::black);
    trackList_->setPalette(listPalette);

    extractButton_->setIcon(AppIcon());
    extractButton_->setIconSize(QSize(32, 32));

    Nudge(formatGroup_, 0, 1);
    Nudge(qualityGroup_, 0, 1);
    Nudge(extractButton_, 1, 1);
    Nudge(browseButton_, 1, 0);
}

// Columns in pixels; together they fill the list when its scroll bar shows.
void MainDialog::SetTrackColumns() {
    trackList_->setColumnCount(3);
    trackList_->setHeaderLabels({QStringLiteral("Track"), QStringLiteral("Title"), QStringLiteral("Duration")});
    trackList_->headerItem()->setTextAlignment(2, Qt::AlignCenter);
    const int clientWidth = trackList_->width() - 2 * trackList_->frameWidth();
    const int scrollBarWidth = trackList_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, trackList_);
    trackList_->setColumnWidth(0, 52);
    trackList_->setColumnWidth(1, clientWidth - scrollBarWidth - 132);
    trackList_->setColumnWidth(2, 80);
}

}  // namespace cadrix
