#include "names/own_disc_folder.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "names/disc_database.h"
#include "util/small_file.h"

namespace cadrix {

namespace {

namespace fs = std::filesystem;

bool SameFolder(std::string_view a, std::string_view b) {
    if (a.empty() || b.empty()) return false;
    std::error_code error;
    return fs::equivalent(fs::path(a), fs::path(b), error);
}

}  // namespace

std::string OwnDiscFolder() {
    std::string base;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && data[0] == '/') {
        base = data;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        base = std::string(home) + "/.local/share";
    } else {
        return {};
    }
    if (!base.ends_with('/')) base.push_back('/');
    return base + "cadrix/discs/";
}

bool HasDiscFile(std::string_view folder, uint32_t discId) {
    if (folder.empty()) return false;
    struct stat info {};
    return stat(DiscDatabasePath(folder, discId).c_str(), &info) == 0;
}

SaveOutcome SaveDiscFile(std::string_view folder, std::string_view suiteFolder, uint32_t discId, std::string_view text,
                         std::string& path) {
    path.clear();
    if (folder.empty()) return SaveOutcome::Failed;
    path = DiscDatabasePath(folder, discId);
    std::error_code error;
    fs::create_directories(fs::path(folder), error);
    if (error) return SaveOutcome::Failed;
    if (SameFolder(folder, suiteFolder)) return SaveOutcome::SuiteFolder;
    if (HasDiscFile(folder, discId)) return SaveOutcome::AlreadyThere;

    switch (CreateFileAtomically(path, text)) {
        case CreateOutcome::Written: return SaveOutcome::Written;
        case CreateOutcome::Exists: return SaveOutcome::AlreadyThere;
        case CreateOutcome::Failed: break;
    }
    return SaveOutcome::Failed;
}

}  // namespace cadrix
