// libcadrix_drivesim.so: loaded with LD_PRELOAD, it makes one device path
// ($CADRIX_DRIVESIM_DEVICE) a CD-ROM block device holding the emulated disc.
// It interposes the C library calls that CD programs make on a device (open,
// close, stat, ioctl, read, lseek, realpath, readlink, access and their
// glibc aliases); every other path and descriptor goes to the C library
// unchanged. The path need not exist: it is a device node of its own name.
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>

#include "drive_options.h"
#include "emulated_drive.h"

namespace {

using drivesim::EmulatedDrive;

constexpr int kMaxFds = 4096;
constexpr unsigned kScsiCdromMajor = 11;
constexpr uint8_t kReadOnly = 1;
constexpr uint8_t kWritable = 2;

std::atomic<uint8_t> gOpenMode[kMaxFds];  // 0: not the device
std::atomic<int64_t> gPosition[kMaxFds];  // read() position on the device

template <typename F>
F Real(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}
// The C library's function (or the next interposer's), looked up once per call site.
#define REAL(name)                                                 \
    ([] {                                                          \
        static const auto function = Real<decltype(&name)>(#name); \
        return function;                                           \
    }())

const char* DevicePath() {
    static const char* path = std::getenv("CADRIX_DRIVESIM_DEVICE");
    return path;
}

bool IsDevice(const char* path) {
    const char* device = DevicePath();
    return path && device && std::strcmp(path, device) == 0;
}

bool IsDeviceFd(int fd) { return fd >= 0 && fd < kMaxFds && gOpenMode[fd].load() != 0; }

EmulatedDrive* Drive() {
    static EmulatedDrive* drive = []() -> EmulatedDrive* {
        static std::optional<EmulatedDrive> holder;
        const char* statePath = std::getenv("CADRIX_DRIVESIM_STATE");
        drivesim::SharedDriveState* state = statePath ? drivesim::MapStateFile(statePath) : nullptr;
        if (!state) return nullptr;
        const auto lines = drivesim::SplitLines(
            std::string_view(state->config, strnlen(state->config, sizeof state->config)));
        drivesim::DriveOptions options;
        std::string error;
        if (!drivesim::ParseDriveOptions(lines, options, error)) return nullptr;
        holder.emplace(*state, std::move(options));
        return &*holder;
    }();
    return drive;
}

// A block device of the SCSI CD-ROM driver (major 11): libcdio-cdda accepts
// no other major for a cooked ioctl drive.
void FillDeviceStat(struct stat* info) {
    std::memset(info, 0, sizeof *info);
    info->st_mode = S_IFBLK | 0660;
    info->st_rdev = makedev(kScsiCdromMajor, 0);
    info->st_nlink = 1;
    info->st_uid = ::getuid();
    info->st_gid = ::getgid();
    info->st_blksize = 2048;
    info->st_atim.tv_sec = info->st_mtim.tv_sec = info->st_ctim.tv_sec = std::time(nullptr);
}

int OpenDevice(int flags) {
    EmulatedDrive* drive = Drive();
    const char* statePath = std::getenv("CADRIX_DRIVESIM_STATE");
    if (!drive || !statePath) {
        errno = ENXIO;
        return -1;
    }
    // Without O_NONBLOCK the cdrom driver refuses an open of an empty drive.
    if (!(flags & O_NONBLOCK) && !drive->HasDisc()) {
        errno = ENOMEDIUM;
        return -1;
    }
    const int fd = REAL(open)(statePath, O_RDONLY | (flags & O_CLOEXEC));
    if (fd < 0) return -1;
    if (fd >= kMaxFds) {
        REAL(close)(fd);
        errno = EMFILE;
        return -1;
    }
    gPosition[fd].store(0);
    gOpenMode[fd].store((flags & O_ACCMODE) == O_RDONLY ? kReadOnly : kWritable);
    drive->LogOnce("open " + std::string((flags & O_ACCMODE) == O_RDONLY ? "read-only" : "read-write") +
                   ((flags & O_NONBLOCK) ? " non-blocking" : ""));
    return fd;
}

mode_t ModeArgument(int flags, va_list args) {
    return (flags & (O_CREAT | O_TMPFILE)) ? static_cast<mode_t>(va_arg(args, int)) : 0;
}

void TrackDup(int from, int to) {
    if (to >= 0 && to < kMaxFds) {
        gOpenMode[to].store(IsDeviceFd(from) ? gOpenMode[from].load() : 0);
        if (IsDeviceFd(from)) gPosition[to].store(gPosition[from].load());
    }
}

}  // namespace

#define DRIVESIM_EXPORT extern "C" __attribute__((visibility("default")))

DRIVESIM_EXPORT int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArgument(flags, args);
    va_end(args);
    return IsDevice(path) ? OpenDevice(flags) : REAL(open)(path, flags, mode);
}

DRIVESIM_EXPORT int open64(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArgument(flags, args);
    va_end(args);
    return IsDevice(path) ? OpenDevice(flags) : REAL(open64)(path, flags, mode);
}

DRIVESIM_EXPORT int __open_2(const char* path, int flags) {
    return IsDevice(path) ? OpenDevice(flags) : Real<int (*)(const char*, int)>("__open_2")(path, flags);
}

DRIVESIM_EXPORT int __open64_2(const char* path, int flags) {
    return IsDevice(path) ? OpenDevice(flags) : Real<int (*)(const char*, int)>("__open64_2")(path, flags);
}

DRIVESIM_EXPORT int openat(int dir, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArgument(flags, args);
    va_end(args);
    return IsDevice(path) ? OpenDevice(flags) : REAL(openat)(dir, path, flags, mode);
}

DRIVESIM_EXPORT int openat64(int dir, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArgument(flags, args);
    va_end(args);
    return IsDevice(path) ? OpenDevice(flags) : REAL(openat64)(dir, path, flags, mode);
}

DRIVESIM_EXPORT int close(int fd) {
    if (fd >= 0 && fd < kMaxFds) gOpenMode[fd].store(0);
    return REAL(close)(fd);
}

DRIVESIM_EXPORT int dup(int fd) noexcept {
    const int copy = REAL(dup)(fd);
    TrackDup(fd, copy);
    return copy;
}

DRIVESIM_EXPORT int dup2(int fd, int to) noexcept {
    const int copy = REAL(dup2)(fd, to);
    if (copy >= 0 && copy != fd) TrackDup(fd, copy);
    return copy;
}

DRIVESIM_EXPORT int dup3(int fd, int to, int flags) noexcept {
    const int copy = REAL(dup3)(fd, to, flags);
    TrackDup(fd, copy);
    return copy;
}

DRIVESIM_EXPORT int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);
    if (!IsDeviceFd(fd)) return REAL(ioctl)(fd, request, argument);
    EmulatedDrive* drive = Drive();
    if (!drive) {
        errno = EIO;
        return -1;
    }
    return drive->Ioctl(request, argument, gOpenMode[fd].load() == kWritable);
}

DRIVESIM_EXPORT ssize_t read(int fd, void* buffer, size_t bytes) {
    if (!IsDeviceFd(fd)) return REAL(read)(fd, buffer, bytes);
    const long got = Drive()->ReadCooked(gPosition[fd].load(), static_cast<uint8_t*>(buffer), bytes);
    if (got > 0) gPosition[fd].fetch_add(got);
    return got;
}

DRIVESIM_EXPORT ssize_t __read_chk(int fd, void* buffer, size_t bytes, size_t) { return read(fd, buffer, bytes); }

DRIVESIM_EXPORT off_t lseek(int fd, off_t offset, int whence) noexcept {
    if (!IsDeviceFd(fd)) return REAL(lseek)(fd, offset, whence);
    const int64_t base = whence == SEEK_CUR ? gPosition[fd].load() : 0;
    if ((whence != SEEK_SET && whence != SEEK_CUR) || base + offset < 0) {
        errno = EINVAL;
        return -1;
    }
    gPosition[fd].store(base + offset);
    return base + offset;
}

DRIVESIM_EXPORT off64_t lseek64(int fd, off64_t offset, int whence) noexcept { return lseek(fd, offset, whence); }

DRIVESIM_EXPORT int stat(const char* path, struct stat* info) noexcept {
    if (!IsDevice(path)) return REAL(stat)(path, info);
    FillDeviceStat(info);
    return 0;
}

DRIVESIM_EXPORT int lstat(const char* path, struct stat* info) noexcept {
    if (!IsDevice(path)) return REAL(lstat)(path, info);
    FillDeviceStat(info);
    return 0;
}

DRIVESIM_EXPORT int fstat(int fd, struct stat* info) noexcept {
    if (!IsDeviceFd(fd)) return REAL(fstat)(fd, info);
    FillDeviceStat(info);
    return 0;
}

DRIVESIM_EXPORT int fstatat(int dir, const char* path, struct stat* info, int flags) noexcept {
    if (!IsDevice(path)) return REAL(fstatat)(dir, path, info, flags);
    FillDeviceStat(info);
    return 0;
}

// On x86-64 struct stat64 is struct stat; the *64 names are aliases.
DRIVESIM_EXPORT int stat64(const char* path, struct stat64* info) noexcept {
    if (!IsDevice(path)) return REAL(stat64)(path, info);
    FillDeviceStat(reinterpret_cast<struct stat*>(info));
    return 0;
}

DRIVESIM_EXPORT int lstat64(const char* path, struct stat64* info) noexcept {
    if (!IsDevice(path)) return REAL(lstat64)(path, info);
    FillDeviceStat(reinterpret_cast<struct stat*>(info));
    return 0;
}

DRIVESIM_EXPORT int fstat64(int fd, struct stat64* info) noexcept {
    if (!IsDeviceFd(fd)) return REAL(fstat64)(fd, info);
    FillDeviceStat(reinterpret_cast<struct stat*>(info));
    return 0;
}

DRIVESIM_EXPORT int fstatat64(int dir, const char* path, struct stat64* info, int flags) noexcept {
    if (!IsDevice(path)) return REAL(fstatat64)(dir, path, info, flags);
    FillDeviceStat(reinterpret_cast<struct stat*>(info));
    return 0;
}

// Programs built against glibc before 2.33 call these.
DRIVESIM_EXPORT int __xstat(int version, const char* path, struct stat* info) {
    if (!IsDevice(path)) return Real<int (*)(int, const char*, struct stat*)>("__xstat")(version, path, info);
    FillDeviceStat(info);
    return 0;
}

DRIVESIM_EXPORT int __lxstat(int version, const char* path, struct stat* info) {
    if (!IsDevice(path)) return Real<int (*)(int, const char*, struct stat*)>("__lxstat")(version, path, info);
    FillDeviceStat(info);
    return 0;
}

DRIVESIM_EXPORT int __fxstat(int version, int fd, struct stat* info) {
    if (!IsDeviceFd(fd)) return Real<int (*)(int, int, struct stat*)>("__fxstat")(version, fd, info);
    FillDeviceStat(info);
    return 0;
}

// A device node is no symbolic link: its real path is its own name.
DRIVESIM_EXPORT char* realpath(const char* path, char* resolved) noexcept {
    if (!IsDevice(path)) return REAL(realpath)(path, resolved);
    if (std::strlen(path) >= PATH_MAX) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    if (!resolved) return ::strdup(path);
    return std::strcpy(resolved, path);
}

DRIVESIM_EXPORT char* __realpath_chk(const char* path, char* resolved, size_t) noexcept {
    return realpath(path, resolved);
}

DRIVESIM_EXPORT char* canonicalize_file_name(const char* path) noexcept {
    if (!IsDevice(path)) return Real<char* (*)(const char*)>("canonicalize_file_name")(path);
    return ::strdup(path);
}

DRIVESIM_EXPORT ssize_t readlink(const char* path, char* buffer, size_t size) noexcept {
    if (!IsDevice(path)) return REAL(readlink)(path, buffer, size);
    errno = EINVAL;
    return -1;
}

DRIVESIM_EXPORT ssize_t readlinkat(int dir, const char* path, char* buffer, size_t size) noexcept {
    if (!IsDevice(path)) return REAL(readlinkat)(dir, path, buffer, size);
    errno = EINVAL;
    return -1;
}

// The user may read and write the device (in group cdrom); it executes nothing.
static int DeviceAccess(int mode) {
    if (mode & X_OK) {
        errno = EACCES;
        return -1;
    }
    return 0;
}

DRIVESIM_EXPORT int access(const char* path, int mode) noexcept {
    return IsDevice(path) ? DeviceAccess(mode) : REAL(access)(path, mode);
}

DRIVESIM_EXPORT int faccessat(int dir, const char* path, int mode, int flags) noexcept {
    return IsDevice(path) ? DeviceAccess(mode) : REAL(faccessat)(dir, path, mode, flags);
}

DRIVESIM_EXPORT int euidaccess(const char* path, int mode) noexcept {
    return IsDevice(path) ? DeviceAccess(mode) : REAL(euidaccess)(path, mode);
}

DRIVESIM_EXPORT int eaccess(const char* path, int mode) noexcept {
    return IsDevice(path) ? DeviceAccess(mode) : REAL(eaccess)(path, mode);
}

DRIVESIM_EXPORT int statx(int dir, const char* path, int flags, unsigned int mask, struct statx* info) noexcept {
    if (!IsDevice(path)) return REAL(statx)(dir, path, flags, mask, info);
    struct stat plain {};
    FillDeviceStat(&plain);
    std::memset(info, 0, sizeof *info);
    info->stx_mask = STATX_BASIC_STATS;
    info->stx_mode = static_cast<uint16_t>(plain.st_mode);
    info->stx_nlink = 1;
    info->stx_uid = plain.st_uid;
    info->stx_gid = plain.st_gid;
    info->stx_blksize = 2048;
    info->stx_rdev_major = major(plain.st_rdev);
    info->stx_rdev_minor = minor(plain.st_rdev);
    info->stx_mtime.tv_sec = info->stx_ctime.tv_sec = info->stx_atime.tv_sec = plain.st_mtim.tv_sec;
    return 0;
}
