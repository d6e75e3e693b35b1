#include "own_disc_folder.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "disc_database.h"

namespace cadrix {

namespace {

namespace fs = std::filesystem;

// A new file beside the final one, named so that no reader takes it for a
// disc (a dot name not ending in ".cdb"); removed again unless it was moved.
class TempFile {
public:
    explicit TempFile(std::string_view folder) {
        static std::atomic<unsigned> counter{0};
        for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
            path_ = std::string(folder) + ".cadrix-" + std::to_string(getpid()) + "-" +
                    std::to_string(counter.fetch_add(1, std::memory_order_relaxed)) + ".tmp";
            // Created with the umask's permissions, as any file the user makes.
            fd_ = open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (fd_ < 0 && errno != EEXIST) break;
        }
        if (fd_ < 0) path_.clear();
    }
    ~TempFile() {
        Close();
        if (!path_.empty()) unlink(path_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }
    bool WriteAll(std::string_view text) {
        while (!text.empty()) {
            const ssize_t written = write(fd_, text.data(), text.size());
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) return false;
            text.remove_prefix(static_cast<size_t>(written));
        }
        return fsync(fd_) == 0;
    }
    bool Close() {
        if (fd_ < 0) return true;
        const int result = close(fd_);
        fd_ = -1;
        return result == 0;
    }

private:
    std::string path_;
    int fd_ = -1;
};

// Gives the temporary file its final name unless that name exists: an
// atomic rename that refuses to replace, or a hard link where the file
// system cannot do that. EEXIST in errno when the name was taken.
bool MoveWithoutReplacing(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    return link(from.c_str(), to.c_str()) == 0;
}

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
    struct stat info{};
    return stat(DiscDatabasePath(folder, discId).c_str(), &info) == 0;
}

SaveOutcome SaveDiscFile(std::string_view folder, std::string_view suiteFolder, uint32_t discId,
                         std::string_view text, std::string& path) {
    path.clear();
    if (folder.empty()) return SaveOutcome::Failed;
    path = DiscDatabasePath(folder, discId);
    std::error_code error;
    fs::create_directories(fs::path(folder), error);
    if (error) return SaveOutcome::Failed;
    if (SameFolder(folder, suiteFolder)) return SaveOutcome::SuiteFolder;
    if (HasDiscFile(folder, discId)) return SaveOutcome::AlreadyThere;

    TempFile temp(folder);
    if (!temp.IsOpen() || !temp.WriteAll(text) || !temp.Close()) return SaveOutcome::Failed;
    if (!MoveWithoutReplacing(temp.Path(), path)) {
        return errno == EEXIST ? SaveOutcome::AlreadyThere : SaveOutcome::Failed;
    }
    return SaveOutcome::Written;
}

}  // namespace cadrix
