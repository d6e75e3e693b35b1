// The main dialog's part in naming discs online: the finished lookups are
// taken on its timer, a chooser asks which release when several match, and
// arriving names change the list's texts only.
#include <QApplication>
#include <QLineEdit>

#include <algorithm>

#include "disc/disc_model.h"
#include "disc_text.h"
#include "main_dialog.h"
#include "track_list.h"

namespace cadrix {

void MainDialog::PollNames() {
    // The chooser's own event loop runs this timer too: one poll at a time,
    // and none while a run extracts (the progress dialog is up).
    if (!namer_ || extracting_ || pollingNames_) return;
    pollingNames_ = true;
    // The chooser waits while another dialog is up, so it never opens over it.
    const std::vector<int> reread = namer_->Poll([this](int drive, const std::vector<ReleaseCandidate>& releases) {
        if (OtherDialogUp()) return DiscNamer::CHOOSE_LATER;
        return pickRelease_ ? pickRelease_(drive, releases) : 0;
    });
    pollingNames_ = false;
    if (std::find(reread.begin(), reread.end(), drives.currentDrive) != reread.end()) RefreshNames();
}

bool MainDialog::OtherDialogUp() const {
    const QWidget* modal = QApplication::activeModalWidget();
    return (modal != nullptr && modal != this) || QApplication::activePopupWidget() != nullptr;
}

std::string MainDialog::DiscDescription(int drive) const {
    const DriveRecord& record = drives.drives[static_cast<size_t>(drive)];
    uint32_t ms = 0;
    size_t tracks = 0;
    for (int32_t t = 1; t <= record.trackCount && t < TRACK_SLOTS; ++t) {
        const TrackRecord& slot = record.tracks[static_cast<size_t>(t)];
        if (slot.isData != 0) continue;
        ++tracks;
        ms += slot.lengthMs;
    }
    return "the disc in " + record.name + " (" + std::to_string(tracks) + (tracks == 1 ? " track, " : " tracks, ") +
           FormatDuration(ms) + ")";
}

void MainDialog::RefreshNames() {
    const TrackListing listing = cadrix::FillTrackList(drives.drives[static_cast<size_t>(drives.currentDrive)]);
    // The rows stand for the same tracks: only their texts change.
    if (listing.rows.size() != static_cast<size_t>(trackList_->topLevelItemCount())) return FillTrackList();
    listFilling = 1;
    for (size_t i = 0; i < listing.rows.size(); ++i) {
        TrackList::SetTitle(trackList_->topLevelItem(static_cast<int>(i)), DecodeDiscText(listing.rows[i].title));
    }
    caption_->setText(DecodeDiscText(listing.caption));
    caption_->setCursorPosition(0);
    ShowDiscExtras();
    listFilling = 0;
}

}  // namespace cadrix
