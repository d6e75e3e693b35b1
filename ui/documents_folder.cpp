#include "documents_folder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace cadrix {

QString UserDocumentsFolder() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir()) return documents;
    return QDir::homePath();
}

}  // namespace cadrix
