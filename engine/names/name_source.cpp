#include "names/name_source.h"

#include <algorithm>
#include <utility>

namespace cadrix {

namespace {

// Larger than any reply describing one disc; a bigger one is refused unread.
constexpr size_t kMaxReplyBytes = size_t{2} << 20;

}  // namespace

HttpResponse LookupContext::Get(const std::string& url, std::chrono::milliseconds minInterval) const {
    HttpRequest request;
    request.url = url;
    request.userAgent = userAgent;
    request.maxBytes = kMaxReplyBytes;
    request.minInterval = minInterval;
    request.cancel = cancel;
    return GetBeforeDeadline(std::move(request), deadline, timeout);
}

}  // namespace cadrix
