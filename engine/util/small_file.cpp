#include "util/small_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace cadrix {

namespace {

std::string TooLarge(size_t maxBytes) { return "larger than " + std::to_string(maxBytes >> 20) + " MiB"; }

}  // namespace

SmallFileRead ReadSmallFileChecked(const std::string& path, size_t maxBytes) {
    SmallFileRead result;
    if (path.empty()) {
        result.missing = true;
        return result;
    }
    // O_NONBLOCK: opening a FIFO without a writer would wait for one.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        result.missing = errno == ENOENT || errno == ENOTDIR;
        result.reason = std::strerror(errno);
        return result;
    }
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        result.reason = "not a regular file";
        return result;
    }
    if (info.st_size < 0 || static_cast<uint64_t>(info.st_size) > maxBytes) {
        result.reason = TooLarge(maxBytes);
        return result;
    }
    // Read to the end, not to the size seen before: a file that grew
    // meanwhile is read whole or refused, never cut.
    std::string text(static_cast<size_t>(info.st_size) + 1, '\0');
    size_t done = 0;
    for (;;) {
        if (done == text.size()) {
            if (text.size() > maxBytes) {
                result.reason = TooLarge(maxBytes);
                return result;
            }
            text.resize(std::min(text.size() * 2, maxBytes + 1));
        }
        const ssize_t got = ::read(fd, text.data() + done, text.size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            result.reason = std::strerror(errno);
            return result;
        }
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    text.resize(done);
    result.text = std::move(text);
    return result;
}

std::optional<std::string> ReadSmallFile(const std::string& path, size_t maxBytes) {
    return ReadSmallFileChecked(path, maxBytes).text;
}

void SayFileRefused(const std::string& path, std::string_view reason, std::string_view consequence) {
    std::fprintf(stderr, "%s: %s: %.*s; %.*s\n", program_invocation_short_name, path.c_str(),
                 static_cast<int>(reason.size()), reason.data(), static_cast<int>(consequence.size()),
                 consequence.data());
}

namespace {

// A new file beside the final one, named so that no reader takes it for one
// of its files (a dot name ending in ".tmp"); removed again unless it was
// moved.
class TempFile {
public:
    TempFile(const std::string& finalPath, mode_t mode) {
        static std::atomic<unsigned> counter{0};
        const std::string folder = finalPath.substr(0, finalPath.rfind('/') + 1);
        for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
            path_ = folder + ".cadrix-" + std::to_string(getpid()) + "-" +
                    std::to_string(counter.fetch_add(1, std::memory_order_relaxed)) + ".tmp";
            fd_ = open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            if (fd_ < 0 && errno != EEXIST) break;
        }
        if (fd_ < 0) path_.clear();
    }
    ~TempFile() {
        const int saved = errno;
        Close();
        if (!path_.empty()) unlink(path_.c_str());
        errno = saved;
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& Path() const { return path_; }
    int Fd() const { return fd_; }
    // Writes, flushes and closes; false with errno set when any step failed.
    bool Finish(std::string_view text) {
        while (!text.empty()) {
            const ssize_t written = write(fd_, text.data(), text.size());
            if (written < 0 && errno == EINTR) continue;
            if (written == 0) errno = EIO;
            if (written <= 0) return false;
            text.remove_prefix(static_cast<size_t>(written));
        }
        if (fsync(fd_) != 0) return false;
        return Close();
    }
    // Once moved, the name belongs to the final file.
    void Moved() { path_.clear(); }

private:
    bool Close() {
        if (fd_ < 0) return true;
        const int result = close(fd_);
        fd_ = -1;
        return result == 0;
    }

    std::string path_;
    int fd_ = -1;
};

// Gives the temporary file its final name unless that name exists: an
// atomic rename that refuses to replace, or a hard link where the file
// system cannot do that. EEXIST in errno when the name was taken.
bool MoveWithoutReplacing(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    if (link(from.c_str(), to.c_str()) != 0) return false;
    unlink(from.c_str());
    return true;
}

}  // namespace

bool ReplaceFileAtomically(const std::string& path, std::string_view text, mode_t mode) {
    TempFile temp(path, mode);
    if (temp.Fd() < 0) return false;
    // The mode asked for, whatever the umask.
    if (fchmod(temp.Fd(), mode) != 0 || !temp.Finish(text)) return false;
    if (rename(temp.Path().c_str(), path.c_str()) != 0) return false;
    temp.Moved();
    return true;
}

CreateOutcome CreateFileAtomically(const std::string& path, std::string_view text) {
    TempFile temp(path, 0644);
    if (temp.Fd() < 0 || !temp.Finish(text)) return CreateOutcome::Failed;
    if (!MoveWithoutReplacing(temp.Path(), path)) {
        return errno == EEXIST ? CreateOutcome::Exists : CreateOutcome::Failed;
    }
    temp.Moved();
    return CreateOutcome::Written;
}

}  // namespace cadrix
