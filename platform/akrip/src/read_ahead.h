// Reading on ahead of the caller: a thread reads the sectors that follow the
// last ones asked for into a ring while the caller handles what it has, so
// the drive keeps reading while the program encodes. The ring is a stream
// of sectors, not of blocks: the caller may ask in any block sizes, and only
// a request that does not follow on from the last one starts it anew.
// Secure reading comes in bursts (paranoia reads a window, then verifies),
// so the ring is large.
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
    using ChunkReader = std::function<bool(int64_t lsn, uint32_t count, uint8_t* out, ReadStats& stats)>;
    // How many sectors from `lsn` the next chunk holds (at most `wanted`;
    // 0: none). A chunk never spans two tracks, so a failure belongs to one.
    using ChunkSizer = std::function<uint32_t(int64_t lsn, uint32_t wanted)>;

    // `sectors` of room, read `chunk` sectors at a time at most; `cancel` is
    // set to stop a read in progress (the reader looks at it).
    ReadAheadStream(size_t sectors, uint32_t chunk, std::atomic<bool>& cancel);
    ~ReadAheadStream();
    ReadAheadStream(const ReadAheadStream&) = delete;
    ReadAheadStream& operator=(const ReadAheadStream&) = delete;

    // Reads on from `lsn` up to `end` until the ring is full, a chunk is
    // empty or a read fails.
    void Start(int64_t lsn, int64_t end, ChunkReader read, ChunkSizer size);
    enum class Taken { NotAhead, Read, Failed };
    // The next sectors, when they are [lsn, lsn + count): copied to `out`
    // (waiting for them) and the counts of their chunks added to `stats`.
    // Failed when a chunk among them failed; NotAhead stops the stream.
    Taken Take(int64_t lsn, uint32_t count, uint8_t* out, ReadStats& stats);
    // Cancels the read in progress and ends the thread; the ring is emptied.
    void Stop();
    // True while the thread is inside a read (not waiting for room).
    bool Reading() const { return reading_.load(); }

private:
    struct Chunk {
        int64_t lsn = 0;
        uint32_t count = 0;
        bool ok = false;
        bool counted = false;  // its stats went to a caller
        ReadStats stats;
    };
    void Produce(int64_t lsn, int64_t end);
    bool WaitForSectors(std::unique_lock<std::mutex>& lock, int64_t lsn, uint32_t count);
    void CopyOut(int64_t lsn, uint32_t count, uint8_t* out) const;
    void CountChunks(int64_t end, ReadStats& stats);

    std::vector<uint8_t> ring_;     // sector s at (s % ringSectors_) * 2352
    std::vector<uint8_t> staging_;  // one chunk, read before it goes into the ring
    std::vector<Chunk> chunks_;     // ring of the chunks in ring_, oldest first
    size_t ringSectors_;
    uint32_t chunkSectors_;
    std::atomic<bool>& cancel_;
    ChunkReader read_;
    ChunkSizer size_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int64_t head_ = 0;       // the next sector to take
    int64_t filled_ = 0;     // sectors read from head_ on
    size_t firstChunk_ = 0;  // oldest chunk record
    size_t chunkCount_ = 0;
    bool failed_ = false;    // the last chunk failed; nothing after it
    bool finished_ = false;  // the thread reads no more
    bool stop_ = false;
    std::atomic<bool> reading_{false};
};

}  // namespace akrip
