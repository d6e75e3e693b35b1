// The track list: a report view with a check box in the first column and
// the track number as each row's item data.
#pragma once

#include <QTreeWidget>

#include <cstdint>
#include <vector>

namespace cadrix {

class TrackList : public QTreeWidget {
    Q_OBJECT
public:
    explicit TrackList(QWidget* parent = nullptr);

    // Item data (the track number) of row `row`.
    static int32_t ItemData(const QTreeWidgetItem* item);
    // The row's title column, with the whole title as its tooltip.
    static void SetTitle(QTreeWidgetItem* item, const QString& title);
    // Track numbers of the checked rows, in row order.
    std::vector<int32_t> CheckedTracks() const;

protected:
    // Space toggles the current row's box wherever the focus cell is.
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace cadrix
