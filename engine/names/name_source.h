// The contract of a name source (an online service, the disc's CD-Text): what
// it is asked about a disc, what it may use, and what it answers.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "disc/disc_model.h"
#include "disc/disc_query.h"
#include "names/disc_names.h"
#include "util/http_client.h"

namespace cadrix {

enum class LookupStatus { Found, NotFound, Failed };

struct LookupReply {
    LookupStatus status = LookupStatus::NotFound;
    std::string reason;                      // one line: where the names came from, or why there are none
    std::vector<ReleaseCandidate> releases;  // at least one when Found, texts cleaned
};

// What a source works with.
struct LookupContext {
    std::string musicBrainzServer;  // base URLs; empty when the configured one is not valid
    std::string gnudbServer;
    std::string userAgent;
    std::chrono::steady_clock::time_point deadline;  // of the whole lookup
    std::chrono::milliseconds timeout{0};            // the whole lookup's, for messages
    const std::atomic<bool>* cancel = nullptr;

    // GET `url` in the time left before the deadline.
    HttpResponse Get(const std::string& url, std::chrono::milliseconds minInterval) const;
};

// A source: never throws and returns by the context's deadline.
using NameSource = LookupReply (*)(const DiscQuery& disc, const LookupContext& context);

}  // namespace cadrix
