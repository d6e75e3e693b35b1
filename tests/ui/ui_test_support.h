// Shared helpers of the user-interface tests.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "file_bytes.h"
#include "temp_dir.h"

namespace cadrix::test {

// The process's XDG folders and HOME point into one temp folder, so nothing
// depends on (or writes to) the developer's own settings.
class TempFolders {
public:
    TempFolders() {
        std::filesystem::create_directories(root_ / "config");
        std::filesystem::create_directories(root_ / "runtime");
        std::filesystem::create_directories(root_ / "home");
        chmod((root_ / "runtime").c_str(), 0700);
        setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (root_ / "runtime").c_str(), 1);
        setenv("HOME", (root_ / "home").c_str(), 1);
        unsetenv("CADRIX_VIRTUAL_DRIVES");
        // Online lookups go to a closed local port: never to the real services.
        setenv("CADRIX_MUSICBRAINZ_SERVER", "http://127.0.0.1:9", 1);
        setenv("CADRIX_GNUDB_SERVER", "http://127.0.0.1:9", 1);
        setenv("CADRIX_COVERART_SERVER", "http://127.0.0.1:9", 1);
    }

private:
    TempDir root_;
};

inline std::string ConfigHome() { return getenv("XDG_CONFIG_HOME"); }

}  // namespace cadrix::test
