#include "lossless_channel_worker.h"

namespace wmsdk::lossless {

ChannelWorker::ChannelWorker() : thread_([this] { Run(); }) {}

ChannelWorker::~ChannelWorker() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void ChannelWorker::Start(PredictorState& state, int channel, int32_t* samples, bool seekable) {
    {
        std::lock_guard lock(mutex_);
        state_ = &state;
        channel_ = channel;
        samples_ = samples;
        seekable_ = seekable;
        busy_ = true;
    }
    changed_.notify_all();
}

void ChannelWorker::Wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
}

void ChannelWorker::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return busy_ || quit_; });
        if (quit_) return;
        PredictorState& state = *state_;
        const int channel = channel_;
        int32_t* samples = samples_;
        const bool seekable = seekable_;
        lock.unlock();
        state.AnalyseChannel(channel, samples, kTileSamples, seekable);
        lock.lock();
        busy_ = false;
        changed_.notify_all();
    }
}

}  // namespace wmsdk::lossless
