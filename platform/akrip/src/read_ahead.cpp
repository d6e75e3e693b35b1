#include "read_ahead.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "image_plan.h"

namespace akrip {

ReadAheadStream::ReadAheadStream(size_t sectors, uint32_t chunk, std::atomic<bool>& cancel)
    : ring_(sectors * kAudioSectorBytes),
      staging_(size_t{chunk} * kAudioSectorBytes),
      chunks_(sectors),
      ringSectors_(sectors),
      chunkSectors_(chunk),
      cancel_(cancel) {}

ReadAheadStream::~ReadAheadStream() { Stop(); }

void ReadAheadStream::Start(int64_t lsn, int64_t end, ChunkReader read, ChunkSizer size) {
    Stop();
    read_ = std::move(read);
    size_ = std::move(size);
    cancel_.store(false);
    head_ = lsn;
    filled_ = 0;
    firstChunk_ = chunkCount_ = 0;
    failed_ = finished_ = stop_ = false;
    try {
        thread_ = std::thread([this, lsn, end] { Produce(lsn, end); });
    } catch (const std::system_error&) {
        finished_ = true;  // no thread: every block is read when asked for
    }
}

void ReadAheadStream::Produce(int64_t lsn, int64_t end) {
    for (;;) {
        const auto wanted = static_cast<uint32_t>(std::clamp<int64_t>(end - lsn, 0, chunkSectors_));
        const uint32_t count = wanted == 0 ? 0 : size_(lsn, wanted);
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] {
                return stop_ || (filled_ + count <= static_cast<int64_t>(ringSectors_) && chunkCount_ < chunks_.size());
            });
            if (stop_ || count == 0) break;
            reading_.store(true);
        }
        ReadStats stats;
        const bool ok = read_(lsn, count, staging_.data(), stats);
        reading_.store(false);
        std::lock_guard lock(mutex_);
        if (stop_) break;
        for (uint32_t k = 0; ok && k < count; ++k) {
            const size_t slot = static_cast<size_t>((lsn + k) % static_cast<int64_t>(ringSectors_));
            std::memcpy(ring_.data() + slot * kAudioSectorBytes, staging_.data() + size_t{k} * kAudioSectorBytes,
                        kAudioSectorBytes);
        }
        Chunk& chunk = chunks_[(firstChunk_ + chunkCount_) % chunks_.size()];
        chunk.lsn = lsn;
        chunk.count = count;
        chunk.ok = ok;
        chunk.counted = false;
        chunk.stats = std::move(stats);
        ++chunkCount_;
        if (ok) filled_ += count;
        failed_ = !ok;
        changed_.notify_all();
        if (!ok) break;  // the failure waits for the caller; nothing after it
        lsn += count;
    }
    std::lock_guard lock(mutex_);
    finished_ = true;
    changed_.notify_all();
}

void ReadAheadStream::CopyOut(int64_t lsn, uint32_t count, uint8_t* out) const {
    for (uint32_t k = 0; k < count;) {
        const size_t slot = static_cast<size_t>((lsn + k) % static_cast<int64_t>(ringSectors_));
        const uint32_t run = static_cast<uint32_t>(std::min<size_t>(count - k, ringSectors_ - slot));
        std::memcpy(out + size_t{k} * kAudioSectorBytes, ring_.data() + slot * kAudioSectorBytes,
                    size_t{run} * kAudioSectorBytes);
        k += run;
    }
}

// Adds the counts of the chunks that begin before `end` (each once) and
// forgets the ones that end there.
void ReadAheadStream::CountChunks(int64_t end, ReadStats& stats) {
    while (chunkCount_ > 0) {
        Chunk& chunk = chunks_[firstChunk_];
        if (chunk.lsn >= end) break;
        if (!chunk.counted) {
            chunk.counted = true;
            stats.sectorsReread += chunk.stats.sectorsReread;
            stats.corrections += chunk.stats.corrections;
            for (int64_t sector : chunk.stats.unreadable) {
                if (std::find(stats.unreadable.begin(), stats.unreadable.end(), sector) == stats.unreadable.end()) {
                    stats.unreadable.push_back(sector);
                }
            }
            if (chunk.stats.failure != ReadFailure::None) stats.Fail(chunk.stats.failure);
        }
        if (chunk.ok && chunk.lsn + chunk.count > end) break;
        firstChunk_ = (firstChunk_ + 1) % chunks_.size();
        --chunkCount_;
    }
}

ReadAheadStream::Taken ReadAheadStream::Take(int64_t lsn, uint32_t count, uint8_t* out, ReadStats& stats) {
    if (!thread_.joinable()) return Taken::NotAhead;
    Taken taken = Taken::NotAhead;
    {
        std::unique_lock lock(mutex_);
        if (lsn == head_) {
            changed_.wait(lock, [&] { return filled_ >= count || failed_ || finished_; });
            if (filled_ >= count) {
                CopyOut(lsn, count, out);
                CountChunks(lsn + count, stats);
                head_ += count;
                filled_ -= count;
                changed_.notify_all();
                return Taken::Read;
            }
            if (failed_) {
                CountChunks(lsn + count, stats);
                taken = Taken::Failed;
            }
        }
    }
    Stop();
    return taken;
}

void ReadAheadStream::Stop() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        cancel_.store(true);
        changed_.notify_all();
    }
    thread_.join();
    cancel_.store(false);
    filled_ = 0;
    chunkCount_ = 0;
    firstChunk_ = 0;
}

}  // namespace akrip
