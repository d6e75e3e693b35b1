// A second thread for the encoder: while the calling thread runs one
// channel's filter cascade, the worker runs the other's. The two channels'
// filters share no state, so the result is the same as one after the other.
#ifndef CADRIX_WMSDK_LOSSLESS_CHANNEL_WORKER_H
#define CADRIX_WMSDK_LOSSLESS_CHANNEL_WORKER_H

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "lossless_predictor.h"

namespace wmsdk::lossless {

class ChannelWorker {
public:
    // Starts the thread; throws std::system_error when it cannot.
    ChannelWorker();
    ~ChannelWorker();
    ChannelWorker(const ChannelWorker&) = delete;
    ChannelWorker& operator=(const ChannelWorker&) = delete;

    // Runs state.AnalyseChannel(channel, samples, kTileSamples, seekable) on
    // the worker; `state` and `samples` must stay until Wait returns.
    void Start(PredictorState& state, int channel, int32_t* samples, bool seekable);
    void Wait();

private:
    void Run();

    std::mutex mutex_;
    std::condition_variable changed_;
    PredictorState* state_ = nullptr;
    int channel_ = 0;
    int32_t* samples_ = nullptr;
    bool seekable_ = false;
    bool busy_ = false;
    bool quit_ = false;
    std::thread thread_;
};

}  // namespace wmsdk::lossless

#endif
