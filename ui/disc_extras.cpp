// The main dialog's row below the track list, right of the space estimate:
// a small thumbnail of the disc's front cover and, for a disc that no source
// names, a link to the MusicBrainz page that adds it (opened in the browser).
#include <QLabel>
#include <QPixmap>

#include "dlu_layout.h"
#include "main_dialog.h"
#include "names/cover_art.h"
#include "names/disc_lookup.h"
#include "names/musicbrainz_lookup.h"
#include "names/name_source.h"

namespace cadrix {

void MainDialog::CreateDiscExtras(const DluMapper& dlu) {
    submitLink_ = new QLabel(this);
    submitLink_->setGeometry(dlu.Rect(170, 172, 146, 10));
    submitLink_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    submitLink_->setTextFormat(Qt::RichText);
    submitLink_->setTextInteractionFlags(Qt::TextBrowserInteraction);
    submitLink_->setOpenExternalLinks(true);
    submitLink_->hide();

    cover_ = new QLabel(this);
    cover_->setGeometry(dlu.Rect(320, 168, 20, 19));
    cover_->setAlignment(Qt::AlignCenter);
    cover_->hide();
}

void MainDialog::ShowDiscExtras() {
    const DriveRecord& record = drives.drives[static_cast<size_t>(drives.currentDrive)];
    const DiscQuery disc = MakeDiscQuery(record);

    QPixmap picture;
    if (const auto image = OwnCover(drives.ownDiscDir, record.discId); image && disc.AudioTrackCount() > 0) {
        picture.loadFromData(reinterpret_cast<const uchar*>(image->bytes.data()),
                             static_cast<uint>(image->bytes.size()));
    }
    if (!picture.isNull()) {
        cover_->setPixmap(picture.scaled(cover_->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
        cover_->setToolTip(QStringLiteral("Front cover, %1 × %2").arg(picture.width()).arg(picture.height()));
    } else {
        cover_->clear();
    }
    cover_->setVisible(!picture.isNull());

    const bool unnamed = record.discTitle.empty() && record.discArtist.empty();
    const std::string url = unnamed
                                ? MusicBrainzSubmissionUrl(disc, LookupSettings::FromEnvironment().musicBrainzServer)
                                : std::string();
    if (!url.empty()) {
        const QString address = QString::fromStdString(url).toHtmlEscaped();
        submitLink_->setText(QStringLiteral("<a href=\"%1\">Add this disc to MusicBrainz</a>").arg(address));
        submitLink_->setToolTip(QString::fromStdString(url));
    } else {
        submitLink_->clear();
    }
    submitLink_->setVisible(!url.empty());
}

}  // namespace cadrix
