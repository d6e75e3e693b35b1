// Shared helpers of the user-interface tests.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace cadrix::test {

// A fresh private folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "cadrix-ui-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern;
        chmod(path_.c_str(), 0700);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& leaf) const { return path_ + "/" + leaf; }

private:
    std::string path_;
};

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
    }

private:
    TempDir root_;
};

inline std::string ConfigHome() { return getenv("XDG_CONFIG_HOME"); }

inline void WriteFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace cadrix::test
