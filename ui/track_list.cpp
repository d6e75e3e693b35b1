#include "track_list.h"

#include <QHeaderView>
#include <QKeyEvent>

namespace cadrix {

TrackList::TrackList(QWidget* parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSortingEnabled(false);
    header()->setSectionsClickable(false);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void TrackList::SetTitle(QTreeWidgetItem* item, const QString& title) {
    item->setText(1, title);
    item->setToolTip(1, title);
}

int32_t TrackList::ItemData(const QTreeWidgetItem* item) {
    return item == nullptr ? 0 : item->data(0, Qt::UserRole).toInt();
}

std::vector<int32_t> TrackList::CheckedTracks() const {
    std::vector<int32_t> tracks;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = topLevelItem(i);
        if (item->checkState(0) == Qt::Checked) tracks.push_back(ItemData(item));
    }
    return tracks;
}

void TrackList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        if (QTreeWidgetItem* item = currentItem()) {
            item->setCheckState(0, item->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
            event->accept();
            return;
        }
    }
    QTreeWidget::keyPressEvent(event);
}

}  // namespace cadrix
