// The small chooser shown when several releases match a disc looked up
// online: one row per release (album, artist, year, country, label, format,
// tracks); the user picks the one whose names the disc gets.
#pragma once

#include <QDialog>

#include <vector>

#include "names/disc_names.h"

class QTreeWidget;

namespace cadrix {

inline constexpr const char* CHOOSER_PROMPT = "Choose the release of ";

class ReleaseChooser : public QDialog {
    Q_OBJECT
public:
    // `disc` says which disc the releases are for ("the disc in <drive>
    // (12 tracks, 45:03)"): in the title and the prompt.
    ReleaseChooser(const std::vector<ReleaseCandidate>& releases, const QString& disc, QWidget* parent = nullptr);
    // The row picked, or -1 when the user cancelled.
    int Chosen() const;
    QTreeWidget* List() const { return list_; }

    // Shows the chooser modally; the index picked or -1.
    static int Ask(const std::vector<ReleaseCandidate>& releases, QWidget* parent, const QString& disc);

private:
    QTreeWidget* list_ = nullptr;
};

}  // namespace cadrix
