// A fresh private temporary folder, removed with everything in it at the end.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace cadrix::test {

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "cadrix-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();  // nothing a test could do without it
        path_ = pattern;
        chmod(path_.c_str(), 0700);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::filesystem::path path() const { return path_; }
    std::string operator/(std::string_view leaf) const { return path_ + "/" + std::string(leaf); }

private:
    std::string path_;
};

}  // namespace cadrix::test
