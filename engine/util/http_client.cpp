#include "util/http_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace cadrix {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct CurlTextDeleter {
    void operator()(char* text) const { curl_free(text); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using MultiHandle = std::unique_ptr<CURLM, MultiDeleter>;

constexpr milliseconds kPollSlice{100};

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool Cancelled(const HttpRequest& request) {
    return request.cancel != nullptr && request.cancel->load(std::memory_order_acquire);
}

// "host:port" of an http(s) URL; empty when curl cannot parse it.
std::string HostKey(const std::string& url) {
    std::unique_ptr<CURLU, UrlDeleter> parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return {};
    char* scheme = nullptr;
    char* host = nullptr;
    char* port = nullptr;
    curl_url_get(parsed.get(), CURLUPART_SCHEME, &scheme, 0);
    curl_url_get(parsed.get(), CURLUPART_HOST, &host, 0);
    curl_url_get(parsed.get(), CURLUPART_PORT, &port, CURLU_DEFAULT_PORT);
    std::unique_ptr<char, CurlTextDeleter> ownScheme(scheme), ownHost(host), ownPort(port);
    if (scheme == nullptr || host == nullptr || port == nullptr) return {};
    const std::string_view schemeText(scheme);
    if (schemeText != "http" && schemeText != "https") return {};
    return std::string(host) + ":" + port;
}

// When each host was last asked, shared by every thread of the process.
class HostPacer {
public:
    // Reserves the host's next turn: the later of now and the previous
    // request's start plus `interval`.
    Clock::time_point Reserve(const std::string& host, milliseconds interval) {
        std::lock_guard lock(mutex_);
        const Clock::time_point now = Clock::now();
        Clock::time_point turn = now;
        if (auto found = last_.find(host); found != last_.end()) turn = std::max(now, found->second + interval);
        last_[host] = turn;
        return turn;
    }

private:
    std::mutex mutex_;
    std::map<std::string, Clock::time_point> last_;
};

HostPacer& Pacer() {
    static HostPacer pacer;
    return pacer;
}

// Sleeps until `turn` in short slices; false when cancelled first.
bool WaitForTurn(const HttpRequest& request, Clock::time_point turn) {
    while (Clock::now() < turn) {
        if (Cancelled(request)) return false;
        std::this_thread::sleep_for(std::min<Clock::duration>(kPollSlice, turn - Clock::now()));
    }
    return !Cancelled(request);
}

struct Transfer {
    std::string body;
    size_t maxBytes = 0;
    bool tooLarge = false;
};

size_t Collect(char* data, size_t size, size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    if (bytes > transfer.maxBytes - transfer.body.size()) {
        transfer.tooLarge = true;
        return 0;  // ends the transfer with a write error
    }
    transfer.body.append(data, bytes);
    return bytes;
}

void Configure(CURL* easy, const HttpRequest& request, milliseconds remaining, Transfer& transfer, char* errorText) {
    curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(easy, CURLOPT_USERAGENT, request.userAgent.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 3L);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(std::max<int64_t>(1, remaining.count())));
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(request.maxBytes));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Collect);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
}

// Runs the transfer, polling the cancel flag between waits. The result
// code, or CURLE_ABORTED_BY_CALLBACK when cancelled.
CURLcode Perform(CURL* easy, const HttpRequest& request) {
    MultiHandle multi(curl_multi_init());
    if (!multi || curl_multi_add_handle(multi.get(), easy) != CURLM_OK) return CURLE_OUT_OF_MEMORY;
    CURLcode result = CURLE_OK;
    int running = 1;
    while (true) {
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            result = CURLE_RECV_ERROR;
            break;
        }
        if (running == 0) {
            int queued = 0;
            CURLMsg* message = curl_multi_info_read(multi.get(), &queued);
            result = message != nullptr && message->msg == CURLMSG_DONE ? message->data.result : CURLE_RECV_ERROR;
            break;
        }
        if (Cancelled(request)) {
            result = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        curl_multi_poll(multi.get(), nullptr, 0, static_cast<int>(kPollSlice.count()), nullptr);
    }
    curl_multi_remove_handle(multi.get(), easy);
    return result;
}

void Judge(HttpResponse& response, CURLcode code, const Transfer& transfer, const HttpRequest& request,
           const char* errorText) {
    if (code == CURLE_OK) {
        response.outcome = HttpOutcome::Ok;
        response.body = transfer.body;
        return;
    }
    if (transfer.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
        response.outcome = HttpOutcome::TooLarge;
        response.error = "the reply is larger than " + std::to_string(request.maxBytes) + " bytes";
    } else if (code == CURLE_OPERATION_TIMEDOUT) {
        response.outcome = HttpOutcome::TimedOut;
        response.error = "no complete reply within " + FormatSeconds(request.timeout);
    } else if (code == CURLE_ABORTED_BY_CALLBACK) {
        response.outcome = HttpOutcome::Cancelled;
        response.error = "cancelled";
    } else {
        response.outcome = HttpOutcome::Failed;
        response.error = errorText[0] != '\0' ? errorText : curl_easy_strerror(code);
    }
}

}  // namespace

HttpResponse HttpGet(const HttpRequest& request) {
    HttpResponse response;
    const Clock::time_point start = Clock::now();
    const std::string host = HostKey(request.url);
    if (host.empty()) {
        response.outcome = HttpOutcome::BadUrl;
        response.error = "not an http:// or https:// address: " + request.url;
        return response;
    }
    const Clock::time_point turn = Pacer().Reserve(host, request.minInterval);
    if (turn - start >= request.timeout) {
        response.outcome = HttpOutcome::TimedOut;
        response.error = "no turn to ask " + host + " within " + FormatSeconds(request.timeout);
        return response;
    }
    if (!WaitForTurn(request, turn)) {
        response.outcome = HttpOutcome::Cancelled;
        response.error = "cancelled";
        return response;
    }
    InitCurlOnce();
    EasyHandle easy(curl_easy_init());
    if (!easy) {
        response.error = "cannot start a transfer";
        return response;
    }
    Transfer transfer;
    transfer.maxBytes = request.maxBytes;
    char errorText[CURL_ERROR_SIZE] = {};
    const auto remaining = std::chrono::duration_cast<milliseconds>(request.timeout - (Clock::now() - start));
    Configure(easy.get(), request, remaining, transfer, errorText);
    const CURLcode code = Perform(easy.get(), request);
    Judge(response, code, transfer, request, errorText);
    curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &response.status);
    return response;
}

std::string FormatSeconds(milliseconds time) {
    const int64_t tenths = (time.count() + 50) / 100;
    return std::to_string(tenths / 10) + (tenths % 10 != 0 ? "." + std::to_string(tenths % 10) : "") + " s";
}

std::string ServiceBaseUrl(const char* variable, std::string_view fallback) {
    const char* value = std::getenv(variable);
    std::string url = value != nullptr && value[0] != '\0' ? std::string(value) : std::string(fallback);
    if (!url.starts_with("http://") && !url.starts_with("https://")) return {};
    const bool clean = std::all_of(url.begin(), url.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte > ' ' && byte != 0x7F;
    });
    if (!clean) return {};
    while (url.ends_with('/')) url.pop_back();
    if (url.size() <= url.find("://") + 3) return {};  // no host
    return url;
}

HttpResponse GetBeforeDeadline(HttpRequest request, std::chrono::steady_clock::time_point deadline,
                               std::chrono::milliseconds timeout) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                            std::chrono::steady_clock::now());
    if (left.count() <= 0) {
        HttpResponse late;
        late.outcome = HttpOutcome::TimedOut;
        late.error = "no time left of the time-out of " + FormatSeconds(timeout);
        return late;
    }
    request.timeout = left;
    HttpResponse response = HttpGet(request);
    // The time-out of the lookup as a whole, not of what was left of it.
    if (response.outcome == HttpOutcome::TimedOut) {
        response.error = "no complete reply within the time-out of " + FormatSeconds(timeout);
    }
    return response;
}

std::string DescribeFailure(const HttpResponse& response) {
    if (response.outcome == HttpOutcome::Ok) return "HTTP " + std::to_string(response.status);
    return response.error;
}

}  // namespace cadrix
