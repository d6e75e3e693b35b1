#include "util/small_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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

}  // namespace cadrix
