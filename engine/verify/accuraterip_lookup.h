// Asking the AccurateRip service about a disc (its database file) and, when
// wanted, about a drive (the drive offset list), on a thread of its own, with
// the time-out and reply rules of the name lookups. What the service said is
// kept for the rest of the program's run, so a disc is asked about once.
#pragma once

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "verify/accuraterip.h"

namespace cadrix {

// The public service; CADRIX_ACCURATERIP_SERVER replaces it.
constexpr std::string_view ACCURATERIP_DEFAULT_SERVER = "http://www.accuraterip.com";

struct VerifySettings {
    bool enabled = true;                       // false: the service is never asked
    std::chrono::milliseconds timeout{10000};  // of the whole lookup
    std::string server;                        // base URL; empty when the configured one is not valid

    static VerifySettings FromEnvironment(bool enabled = true);
};

enum class ArLookupStatus {
    Off,            // not asked: looking up is off
    Found,          // the service knows the disc
    NotInDatabase,  // it does not
    Failed,         // no usable answer (reason says why)
};

struct ArLookupResult {
    ArLookupStatus status = ArLookupStatus::Off;
    std::string reason;  // one line
    AccurateRipDiscId disc;
    std::vector<AccurateRipSubmission> submissions;  // only those for `disc`
    // The drive's entry of the offset list, when the drive was asked about.
    std::optional<int32_t> listedOffset;
    std::string driveListReason;  // why there is none
    bool unreachable = false;     // Failed: no reply came at all (no network, a time-out...)
};

// Asks synchronously: the disc's file, then (for a non-empty `driveKey`)
// the offset list. Returns by the time-out, or soon after `cancel` is set.
ArLookupResult LookUpAccurateRip(const AccurateRipDiscId& disc, const std::string& driveKey,
                                 const VerifySettings& settings, const std::atomic<bool>* cancel = nullptr);

// The submissions of a reply for `disc`: a reply whose whole submissions
// include none for the disc is no answer (Failed, with the reason).
ArLookupResult JudgeAccurateRipReply(std::string_view body, const AccurateRipDiscId& disc);

// One lookup on its own thread.
class AccurateRipLookup {
public:
    AccurateRipLookup(AccurateRipDiscId disc, std::string driveKey, VerifySettings settings);
    // Cancels and waits for the thread, which ends within about 0.1 s.
    ~AccurateRipLookup();
    AccurateRipLookup(const AccurateRipLookup&) = delete;
    AccurateRipLookup& operator=(const AccurateRipLookup&) = delete;

    bool Finished() const;
    // Waits for the result until `stop` becomes nonzero; true when finished.
    bool Wait(const std::atomic<int32_t>& stop) const;
    // Only after Finished() returned true.
    const ArLookupResult& Result() const { return answer_.get(); }

private:
    std::atomic<bool> cancel_{false};
    std::shared_future<ArLookupResult> answer_;
};

}  // namespace cadrix
