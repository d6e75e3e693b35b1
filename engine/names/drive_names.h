// Where the drive set finds its discs' names: the suite's disc database, else
// Cadrix's own disc folder.
#pragma once

#include "disc/drive_set.h"

namespace cadrix {

// Sets drives.dataDir from the suite's ini file and drives.ownDiscDir, and
// has the drive set read each disc's names from them; run once before the
// first ReadDisc.
void ReadDataDir(DriveSet& drives);

// Copies the database entry of `record`'s disc into it: the suite's file in
// drives.dataDir, else Cadrix's own file in drives.ownDiscDir, else nothing.
void ReadDatabaseNames(const DriveSet& drives, DriveRecord& record);

}  // namespace cadrix
