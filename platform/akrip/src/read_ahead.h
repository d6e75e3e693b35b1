// Reading on ahead of the caller: a thread reads the blocks that follow the
// last one asked for into a ring of slots while the caller handles the
// blocks it has, so the drive keeps reading while the program encodes.
// Secure reading comes in bursts (paranoia reads a window, then verifies),
// so the ring holds many blocks.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "read_stats.h"

namespace akrip {

class ReadAheadStream {
public:
    // Reads [lsn, lsn + count) into `out`, counting into `stats`.
    using BlockReader = std::function<bool(int64_t lsn, uint32_t count, uint8_t* out, ReadStats& stats)>;
    // How many of `wanted` sectors from `lsn` form the next block (0: none).
    using BlockSizer = std::function<uint32_t(int64_t lsn, uint32_t wanted)>;

    // `cancel` is set to stop a read in progress (the reader looks at it).
    ReadAheadStream(size_t slots, size_t blockBytes, std::atomic<bool>& cancel);
    ~ReadAheadStream();
    ReadAheadStream(const ReadAheadStream&) = delete;
    ReadAheadStream& operator=(const ReadAheadStream&) = delete;

    // Reads blocks of `blockFrames` from `lsn` on until the ring is full,
    // a block is not readable or a read fails.
    void Start(int64_t lsn, uint32_t blockFrames, BlockReader read, BlockSizer size);
    enum class Taken { NotAhead, Read, Failed };
    // The next block, when it is [lsn, lsn + count): copied to `out` and its
    // counts added to `stats`. NotAhead stops the stream.
    Taken Take(int64_t lsn, uint32_t count, uint8_t* out, ReadStats& stats);
    // Cancels the read in progress and ends the thread; the ring is emptied.
    void Stop();
    bool Running() const { return thread_.joinable(); }
    // True while the thread is inside a read (not waiting for room).
    bool Reading() const { return reading_.load(); }

private:
    struct Slot {
        int64_t lsn = 0;
        uint32_t count = 0;
        bool ok = false;
        ReadStats stats;
    };
    void Produce(int64_t lsn, uint32_t blockFrames);

    std::vector<Slot> slots_;
    std::vector<uint8_t> data_;  // slot k's block at k * blockBytes_
    size_t blockBytes_;
    std::atomic<bool>& cancel_;
    BlockReader read_;
    BlockSizer size_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    size_t head_ = 0;   // next slot to take
    size_t filled_ = 0; // slots holding a block
    bool finished_ = false;  // the thread reads no more
    bool stop_ = false;
    std::atomic<bool> reading_{false};
};

}  // namespace akrip
