#include "names/drive_names.h"

#include "names/disc_database.h"
#include "names/own_disc_folder.h"

namespace cadrix {

void ReadDataDir(DriveSet& drives) {
    drives.dataDir = ReadDataDir();
    drives.ownDiscDir = OwnDiscFolder();
    drives.nameReader = ReadDatabaseNames;
}

void ReadDatabaseNames(const DriveSet& drives, DriveRecord& record) {
    if (!ReadDiscDatabase(drives.dataDir, record)) ReadDiscDatabase(drives.ownDiscDir, record);
}

}  // namespace cadrix
