// HTTP GET for Cadrix's online services (disc names, checksum databases):
// one request per call on the calling thread, bounded in time and size,
// cancellable from another thread, and paced per host across the process.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace cadrix {

enum class HttpOutcome {
    Ok,         // a complete reply arrived; see `status`
    Failed,     // no connection, a protocol error, a refused redirect...
    TimedOut,   // the timeout passed before the reply was complete
    TooLarge,   // the reply was larger than `maxBytes`
    Cancelled,  // the cancel flag was raised
    BadUrl,     // not an http:// or https:// address
};

struct HttpRequest {
    std::string url;
    std::string userAgent;
    // The whole request, the wait for the host's turn included.
    std::chrono::milliseconds timeout{10000};
    size_t maxBytes = size_t{4} << 20;
    // The least time between the start of the host's previous request (from
    // any thread of the process) and this one.
    std::chrono::milliseconds minInterval{0};
    // Polled about ten times a second; true ends the request as Cancelled.
    const std::atomic<bool>* cancel = nullptr;
};

struct HttpResponse {
    HttpOutcome outcome = HttpOutcome::Failed;
    long status = 0;    // the HTTP status of a complete reply
    std::string body;   // at most maxBytes bytes; complete only when Ok
    std::string error;  // one line saying why when outcome is not Ok
};

// Follows at most three redirects, only to http:// and https://. Never
// throws; a reply with any status is Ok, the caller judges the status.
HttpResponse HttpGet(const HttpRequest& request);

// The base address of a service from environment variable `variable`, or
// `fallback` when it is unset or empty; a trailing '/' is dropped. Empty when
// the value is not an http:// or https:// address without blanks or controls.
std::string ServiceBaseUrl(const char* variable, std::string_view fallback);

// "10 s", "2.5 s": a time as error texts give it, to a tenth of a second.
std::string FormatSeconds(std::chrono::milliseconds time);

// GETs `request.url` in the time left before `deadline` of a lookup allowed
// `timeout` as a whole (request.timeout is set here); a time-out is told as
// the whole lookup's.
HttpResponse GetBeforeDeadline(HttpRequest request, std::chrono::steady_clock::time_point deadline,
                               std::chrono::milliseconds timeout);

// Why `response` is no usable reply: its error, or "HTTP <status>" when it
// is complete but its status is not 200.
std::string DescribeFailure(const HttpResponse& response);

}  // namespace cadrix
