#pragma once

#include <QString>

namespace cadrix {

// The folder that stands for the user's documents folder: the XDG documents
// folder when it exists, else the home folder. The default output folder is
// one level below it and only that level is ever created, so it has to exist
// (a fresh account often has no ~/Documents yet).
QString UserDocumentsFolder();

}  // namespace cadrix
