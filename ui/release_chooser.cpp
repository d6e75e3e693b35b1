#include "release_chooser.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app_icon.h"
#include "dlu_layout.h"

namespace cadrix {

namespace {

QString Text(const std::string& utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }

QTreeWidgetItem* Row(const ReleaseCandidate& release) {
    const DiscNames& names = release.names;
    QString album = Text(names.title);
    if (names.setNumber > 0 && names.setSize > 0) {
        album += QStringLiteral(" (Disc %1 of %2)").arg(names.setNumber).arg(names.setSize);
    }
    auto* item = new QTreeWidgetItem(QStringList{album, Text(names.artist), Text(names.year), Text(names.country),
                                                 Text(release.label), Text(release.format),
                                                 QString::number(release.trackCount)});
    item->setTextAlignment(6, Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

}  // namespace

ReleaseChooser::ReleaseChooser(const std::vector<ReleaseCandidate>& releases, const QString& disc, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Cadrix: releases of ") + disc);
    setWindowIcon(AppIcon());
    setFont(DialogTemplateFont());
    auto* layout = new QVBoxLayout(this);
    auto* prompt = new QLabel(QString::fromUtf8(CHOOSER_PROMPT) + disc + QStringLiteral(":"), this);
    prompt->setTextFormat(Qt::PlainText);
    layout->addWidget(prompt);

    list_ = new QTreeWidget(this);
    list_->setRootIsDecorated(false);
    list_->setHeaderLabels({QStringLiteral("Album"), QStringLiteral("Artist"), QStringLiteral("Year"),
                            QStringLiteral("Country"), QStringLiteral("Label"), QStringLiteral("Format"),
                            QStringLiteral("Tracks")});
    for (const ReleaseCandidate& release : releases) list_->addTopLevelItem(Row(release));
    for (int column = 0; column < list_->columnCount(); ++column) list_->resizeColumnToContents(column);
    if (list_->topLevelItemCount() > 0) list_->setCurrentItem(list_->topLevelItem(0));
    list_->setMinimumWidth(560);
    layout->addWidget(list_);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

int ReleaseChooser::Chosen() const {
    if (result() != QDialog::Accepted || list_->currentItem() == nullptr) return -1;
    return list_->indexOfTopLevelItem(list_->currentItem());
}

int ReleaseChooser::Ask(const std::vector<ReleaseCandidate>& releases, QWidget* parent, const QString& disc) {
    ReleaseChooser chooser(releases, disc, parent);
    chooser.exec();
    return chooser.Chosen();
}

}  // namespace cadrix
