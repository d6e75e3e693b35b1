#include "folder_chooser.h"

#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>

#include "main_dialog.h"

namespace cadrix {

QString ChooseFolderWithQtDialog(QWidget* parent, const QString& start) {
    // A base folder that does not exist yet opens its nearest existing parent.
    QDir startDir(start.isEmpty() ? QDir::homePath() : start);
    while (!startDir.exists() && startDir.cdUp()) {}
    QFileDialog dialog(parent, QString::fromUtf8(BROWSE_TITLE),
                       startDir.exists() ? startDir.absolutePath() : QDir::homePath());
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // The text also stands inside the dialog, above the folder view, where the
    // classic folder chooser shows it (a window manager may not show titles).
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
        struct Placed {
            QLayoutItem* item;
            int row, column, rowSpan, columnSpan;
        };
        QList<Placed> placed;
        while (grid->count() > 0) {
            Placed p{};
            grid->getItemPosition(0, &p.row, &p.column, &p.rowSpan, &p.columnSpan);
            p.item = grid->takeAt(0);
            placed.append(p);
        }
        auto* title = new QLabel(QString::fromUtf8(BROWSE_TITLE), &dialog);
        title->setObjectName(QStringLiteral("browseTitle"));
        title->setTextFormat(Qt::PlainText);
        grid->addWidget(title, 0, 0, 1, -1);
        for (const Placed& p : placed) grid->addItem(p.item, p.row + 1, p.column, p.rowSpan, p.columnSpan);
    }
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.first();
}

}  // namespace cadrix
