// Cadrix's own disc folder: files in the suite's disc database format that
// Cadrix writes for discs the suite's database does not know. The user may
// edit or delete them; Cadrix never replaces one and never writes into the
// suite's folder.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cadrix {

// $XDG_DATA_HOME/cadrix/discs/ (default ~/.local/share/cadrix/discs/),
// ending in '/'; empty when neither variable gives an absolute folder.
std::string OwnDiscFolder();

// True when a database file for `discId` exists in `folder` (which ends in
// '/'; an empty folder has no files).
bool HasDiscFile(std::string_view folder, uint32_t discId);

enum class SaveOutcome {
    Written,       // the file is there now, complete
    AlreadyThere,  // a file of that name exists and was kept as it is
    SuiteFolder,   // `folder` is the suite's own folder: nothing written
    Failed,        // the folder or file could not be made
};

// Writes `text` as the database file of `discId` in `folder`, creating the
// folder: into a temporary file first, which then takes the final name only
// if that name is still free, so a reader never sees a partial file and an
// existing one is never replaced. `suiteFolder` is the suite's database
// folder (may be empty). `path` gets the file's name.
SaveOutcome SaveDiscFile(std::string_view folder, std::string_view suiteFolder, uint32_t discId, std::string_view text,
                         std::string& path);

}  // namespace cadrix
