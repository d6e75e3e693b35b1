// The state of one emulated drive that every process using it shares, as the
// kernel keeps one state per drive: a small file that the launcher creates
// and each process maps. Only lock-free atomics and a robust process-shared
// mutex live in it, so a process that dies cannot leave it locked.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <string>

namespace drivesim {

inline constexpr uint32_t kStateMagic = 0x43445253;  // "CDRS"
inline constexpr size_t kMaxBadRanges = 32;
inline constexpr size_t kConfigBytes = 16384;

struct SharedDriveState {
    uint32_t magic = 0;
    uint32_t size = 0;
    pthread_mutex_t mutex;                   // guards the head model below
    std::atomic<int32_t> disc{-1};           // index into the images; -1: no disc
    std::atomic<uint32_t> mediaChanged{0};   // an event not yet reported by CDROM_MEDIA_CHANGED
    std::atomic<uint32_t> unitAttention{0};  // the next command reports the change
    std::atomic<uint32_t> doorLocked{0};
    std::atomic<uint32_t> trayOpen{0};                 // the disc was ejected and the tray not closed again
    std::atomic<uint64_t> reads{0};                    // audio and data reads served
    std::atomic<uint32_t> badFailures[kMaxBadRanges];  // failures so far, per --bad range
    std::atomic<int64_t> position{0};                  // the sector the head last read or played
    std::atomic<uint32_t> playCompleted{0};            // a play ended and READ SUB-CHANNEL has not said so yet
    std::atomic<int32_t> sgReservedBytes{-1};          // SG_SET_RESERVED_SIZE; -1: as large as a transfer may be
    std::atomic<int32_t> sgTimeout{0};                 // SG_SET_TIMEOUT, in clock ticks
    // Where the drive's head is: it reads on after a request into its cache.
    int64_t headLba = -1;
    int64_t hostEnd = 0;  // end of the last request
    int64_t cacheStart = -1;
    int64_t headTimeNs = 0;
    uint64_t busyNs = 0;  // time reads waited for the drive
    uint64_t framesRead = 0;
    char config[kConfigBytes] = {};  // the options, one argument a line
};

static_assert(std::atomic<uint32_t>::is_always_lock_free && std::atomic<uint64_t>::is_always_lock_free);

// Creates `path` holding a fresh state with `config`, a disc loaded unless
// `disc` < 0 and its insertion not yet reported. False on an error.
bool CreateStateFile(const std::string& path, const std::string& config, int32_t disc);

// Maps the state file; null when it is missing or not a state file. The
// mapping lives until the process ends.
SharedDriveState* MapStateFile(const std::string& path);

// Locks the state's mutex, recovering it when its owner died.
class StateLock {
public:
    explicit StateLock(SharedDriveState& state);
    ~StateLock();
    StateLock(const StateLock&) = delete;
    StateLock& operator=(const StateLock&) = delete;

private:
    SharedDriveState& state_;
};

}  // namespace drivesim
