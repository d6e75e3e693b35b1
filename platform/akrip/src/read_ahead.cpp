#include "read_ahead.h"

#include <algorithm>
#include <cstring>
#include <system_error>

namespace akrip {
namespace {
constexpr size_t kSectorBytes = 2352;
}  // namespace

ReadAheadStream::ReadAheadStream(size_t slots, size_t blockBytes, std::atomic<bool>& cancel)
    : slots_(slots), data_(slots * blockBytes), blockBytes_(blockBytes), cancel_(cancel) {}

ReadAheadStream::~ReadAheadStream() { Stop(); }

void ReadAheadStream::Start(int64_t lsn, uint32_t blockFrames, BlockReader read, BlockSizer size) {
    Stop();
    read_ = std::move(read);
    size_ = std::move(size);
    cancel_.store(false);
    head_ = filled_ = 0;
    finished_ = stop_ = false;
    try {
        thread_ = std::thread([this, lsn, blockFrames] { Produce(lsn, blockFrames); });
    } catch (const std::system_error&) {
        finished_ = true;  // no thread: every block is read when asked for
    }
}

void ReadAheadStream::Produce(int64_t lsn, uint32_t blockFrames) {
    for (;;) {
        const uint32_t count = size_(lsn, blockFrames);
        size_t slot = 0;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return stop_ || filled_ < slots_.size(); });
            if (stop_ || count == 0) break;
            slot = (head_ + filled_) % slots_.size();
            reading_.store(true);
        }
        Slot& target = slots_[slot];
        target.lsn = lsn;
        target.count = count;
        target.stats = {};
        target.ok = read_(lsn, count, data_.data() + slot * blockBytes_, target.stats);
        reading_.store(false);
        std::lock_guard lock(mutex_);
        if (stop_) break;
        ++filled_;
        changed_.notify_all();
        if (!target.ok) break;  // the failure waits for the caller; nothing after it
        lsn += count;
    }
    std::lock_guard lock(mutex_);
    finished_ = true;
    changed_.notify_all();
}

ReadAheadStream::Taken ReadAheadStream::Take(int64_t lsn, uint32_t count, uint8_t* out, ReadStats& stats) {
    if (!thread_.joinable()) return Taken::NotAhead;
    size_t slot = 0;
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return filled_ > 0 || finished_; });
        slot = head_;
        const bool match = filled_ > 0 && slots_[slot].lsn == lsn && slots_[slot].count == count;
        if (!match) {
            lock.unlock();
            Stop();
            return Taken::NotAhead;
        }
    }
    const Slot& taken = slots_[slot];
    if (taken.ok) std::memcpy(out, data_.data() + slot * blockBytes_, std::min<size_t>(size_t{count} * kSectorBytes, blockBytes_));
    stats.sectorsReread += taken.stats.sectorsReread;
    stats.corrections += taken.stats.corrections;
    for (int64_t sector : taken.stats.unreadable) {
        if (std::find(stats.unreadable.begin(), stats.unreadable.end(), sector) == stats.unreadable.end()) {
            stats.unreadable.push_back(sector);
        }
    }
    const bool ok = taken.ok;
    std::lock_guard lock(mutex_);
    head_ = (head_ + 1) % slots_.size();
    --filled_;
    changed_.notify_all();
    return ok ? Taken::Read : Taken::Failed;
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
    head_ = filled_ = 0;
}

}  // namespace akrip
