#include "single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace cadrix {

std::string InstanceMarkerFolder() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && runtime[0] == '/') {
        return runtime;
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = (tmp != nullptr && tmp[0] == '/') ? tmp : "/tmp";
    folder += "/Zephyrtone-" + std::to_string(getuid());
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return {};
    struct stat st {};
    // Someone else's folder (or a symlink planted there) is not ours to use.
    if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) return {};
    return folder;
}

SingleInstance::Result SingleInstance::Acquire(const std::string& folder) {
    Release();
    if (folder.empty()) return Result::Unavailable;
    const std::string path = folder + "/" + INSTANCE_MARKER_NAME;
    // A few rounds cover the race in which the holder removes the file
    // between our open and our lock: we would then hold an orphan inode.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) return Result::Unavailable;
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int err = errno;
            close(fd);
            return err == EWOULDBLOCK ? Result::AlreadyRunning : Result::Unavailable;
        }
        struct stat opened {
        }, named{};
        if (fstat(fd, &opened) == 0 && stat(path.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
            opened.st_ino == named.st_ino) {
            fd_ = fd;
            path_ = path;
            return Result::Acquired;
        }
        close(fd);
    }
    return Result::Unavailable;
}

void SingleInstance::Release() {
    if (fd_ < 0) return;
    unlink(path_.c_str());
    close(fd_);
    fd_ = -1;
    path_.clear();
}

}  // namespace cadrix
