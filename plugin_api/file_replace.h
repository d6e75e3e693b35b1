// Replacing a finished output file as a whole: the new bytes go into a
// temporary file beside it, reach the disk, keep the old file's permissions
// and only then take its name. A reader sees the old file or the new one.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace cadrix::plugin {

// The whole of `path`; false (with the reason) when it cannot be read.
inline bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open '" + path + "': " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (ok) {
        bytes.resize(static_cast<size_t>(info.st_size));
        size_t done = 0;
        while (ok && done < bytes.size()) {
            const ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (got < 0 && errno == EINTR) continue;
            ok = got > 0;
            if (ok) done += static_cast<size_t>(got);
        }
    }
    if (!ok) error = "cannot read '" + path + "': " + std::strerror(errno != 0 ? errno : EIO);
    ::close(fd);
    return ok;
}

// Replaces `path` by `parts` joined; false (with the reason) leaves the old file.
inline bool ReplaceWholeFile(const std::string& path, std::initializer_list<std::span<const uint8_t>> parts,
                             std::string& error) {
    struct stat info {};
    const mode_t mode = ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0644;
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        error = "cannot create a file beside '" + path + "': " + std::strerror(errno);
        return false;
    }
    bool ok = true;
    for (std::span<const uint8_t> part : parts) {
        size_t done = 0;
        while (ok && done < part.size()) {
            const ssize_t put = ::write(fd, part.data() + done, part.size() - done);
            if (put < 0 && errno == EINTR) continue;
            ok = put > 0;
            if (ok) done += static_cast<size_t>(put);
        }
    }
    ok = ok && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    const int writeError = errno;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temp.c_str(), path.c_str()) == 0) return true;
    error = "cannot write '" + path + "': " + std::strerror(ok ? errno : (writeError != 0 ? writeError : EIO));
    ::unlink(temp.c_str());
    return false;
}

}  // namespace cadrix::plugin
