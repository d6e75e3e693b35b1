// The small chooser shown when several releases match a disc looked up
// online: one row per release (album, artist, year, country, label, format,
// tracks); the user picks the one whose names the disc gets.
#pragma once

#include <QDialog>

#include <vector>

#include "disc_names.h"

class QTreeWidget;

namespace cadrix {

inline constexpr const char* CHOOSER_TITLE = "Choose the release of this disc";

class ReleaseChooser : public QDialog {
    Q_OBJECT
public:
    ReleaseChooser(const std::vector<ReleaseCandidate>& releases, QWidget* parent = nullptr);
    // The row picked, or -1 when the user cancelled.
    int Chosen() const;
    QTreeWidget* List() const { return list_; }

    // Shows the chooser modally; the index picked or -1.
    static int Ask(const std::vector<ReleaseCandidate>& releases, QWidget* parent);

private:
    QTreeWidget* list_ = nullptr;
};

}  // namespace cadrix
