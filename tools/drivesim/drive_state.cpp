#include "drive_state.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace drivesim {

bool CreateStateFile(const std::string& path, const std::string& config, int32_t disc) {
    if (config.size() >= kConfigBytes) return false;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool ok = ::ftruncate(fd, sizeof(SharedDriveState)) == 0;
    void* memory = ok ? ::mmap(nullptr, sizeof(SharedDriveState), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                      : MAP_FAILED;
    ::close(fd);
    if (memory == MAP_FAILED) return false;
    auto* state = new (memory) SharedDriveState();
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
    pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
    ok = pthread_mutex_init(&state->mutex, &attributes) == 0;
    pthread_mutexattr_destroy(&attributes);
    std::memcpy(state->config, config.data(), config.size());
    state->disc.store(disc);
    // A disc put in before the program started: the kernel has buffered the event.
    state->mediaChanged.store(1);
    state->size = sizeof(SharedDriveState);
    state->magic = kStateMagic;
    ::munmap(memory, sizeof(SharedDriveState));
    return ok;
}

SharedDriveState* MapStateFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info {};
    void* memory = MAP_FAILED;
    if (::fstat(fd, &info) == 0 && info.st_size == static_cast<off_t>(sizeof(SharedDriveState))) {
        memory = ::mmap(nullptr, sizeof(SharedDriveState), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    }
    ::close(fd);
    if (memory == MAP_FAILED) return nullptr;
    auto* state = static_cast<SharedDriveState*>(memory);
    if (state->magic != kStateMagic || state->size != sizeof(SharedDriveState)) {
        ::munmap(memory, sizeof(SharedDriveState));
        return nullptr;
    }
    return state;
}

StateLock::StateLock(SharedDriveState& state) : state_(state) {
    if (pthread_mutex_lock(&state_.mutex) == EOWNERDEAD) pthread_mutex_consistent(&state_.mutex);
}

StateLock::~StateLock() { pthread_mutex_unlock(&state_.mutex); }

}  // namespace drivesim
