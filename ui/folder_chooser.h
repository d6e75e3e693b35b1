// The folder chooser Browse opens: Qt's own folder dialog, titled and
// headed with the main dialog's question.
#pragma once

#include <QString>

class QWidget;

namespace cadrix {

// Asks for a folder, starting at `start` (or its nearest existing parent);
// the chosen path, or an empty string when the user cancelled.
QString ChooseFolderWithQtDialog(QWidget* parent, const QString& start);

}  // namespace cadrix
