#include "verify/accuraterip_lookup.h"

#include <map>
#include <mutex>
#include <system_error>
#include <utility>

#include "util/build_info.h"
#include "util/http_client.h"
#include "verify/drive_offsets.h"

namespace cadrix {

namespace {

constexpr size_t kMaxDiscFileBytes = size_t{1} << 20;   // far above any disc's submissions
constexpr size_t kMaxDriveListBytes = size_t{8} << 20;  // the list has some ten thousand drives

// What the service said, for the rest of the program's run: discs it knows
// or does not know (not failures, which are asked again), and the drive list.
struct AnswerCache {
    std::mutex mutex;
    std::map<std::string, ArLookupResult> discs;                      // by server and disc id
    std::map<std::string, std::vector<DriveOffsetEntry>> driveLists;  // by server
};

AnswerCache& Cache() {
    static AnswerCache cache;
    return cache;
}

HttpResponse Get(const std::string& url, size_t maxBytes, std::chrono::steady_clock::time_point deadline,
                 const VerifySettings& settings, const std::atomic<bool>* cancel) {
    HttpRequest request;
    request.url = url;
    request.userAgent = ClientUserAgent();
    request.maxBytes = maxBytes;
    request.cancel = cancel;
    return GetBeforeDeadline(std::move(request), deadline, settings.timeout);
}

ArLookupResult AskDisc(const AccurateRipDiscId& disc, std::chrono::steady_clock::time_point deadline,
                       const VerifySettings& settings, const std::atomic<bool>* cancel) {
    const std::string key = settings.server + " " + disc.Text();
    {
        std::lock_guard lock(Cache().mutex);
        if (auto found = Cache().discs.find(key); found != Cache().discs.end()) return found->second;
    }
    ArLookupResult result;
    result.disc = disc;
    const HttpResponse response = Get(settings.server + "/" + disc.FilePath(), kMaxDiscFileBytes, deadline, settings,
                                      cancel);
    if (response.outcome == HttpOutcome::Ok && response.status == 404) {
        result.status = ArLookupStatus::NotInDatabase;
        result.reason = "disc not in AccurateRip";
    } else if (response.outcome != HttpOutcome::Ok || response.status != 200) {
        result.status = ArLookupStatus::Failed;
        result.reason = "AccurateRip: " + DescribeFailure(response);
        result.unreachable = response.outcome != HttpOutcome::Ok;
        return result;
    } else {
        result = JudgeAccurateRipReply(response.body, disc);
        if (result.status == ArLookupStatus::Failed) return result;
    }
    std::lock_guard lock(Cache().mutex);
    Cache().discs[key] = result;
    return result;
}

void AskDrive(ArLookupResult& result, const std::string& driveKey, std::chrono::steady_clock::time_point deadline,
              const VerifySettings& settings, const std::atomic<bool>* cancel) {
    std::vector<DriveOffsetEntry> list;
    bool cached = false;
    {
        std::lock_guard lock(Cache().mutex);
        if (auto found = Cache().driveLists.find(settings.server); found != Cache().driveLists.end()) {
            list = found->second;
            cached = true;
        }
    }
    if (!cached) {
        const HttpResponse response = Get(settings.server + "/accuraterip/DriveOffsets.bin", kMaxDriveListBytes,
                                          deadline, settings, cancel);
        if (response.outcome != HttpOutcome::Ok || response.status != 200) {
            result.driveListReason = "AccurateRip's drive list: " + DescribeFailure(response);
            return;
        }
        const auto* bytes = reinterpret_cast<const uint8_t*>(response.body.data());
        list = ParseDriveOffsets({bytes, response.body.size()});
        std::lock_guard lock(Cache().mutex);
        Cache().driveLists[settings.server] = list;
    }
    result.listedOffset = FindDriveOffset(list, driveKey);
    if (!result.listedOffset) result.driveListReason = "the drive is not in AccurateRip's drive list";
}

}  // namespace

VerifySettings VerifySettings::FromEnvironment(bool enabled) {
    VerifySettings settings;
    settings.enabled = enabled;
    settings.server = ServiceBaseUrl("CADRIX_ACCURATERIP_SERVER", ACCURATERIP_DEFAULT_SERVER);
    return settings;
}

ArLookupResult JudgeAccurateRipReply(std::string_view body, const AccurateRipDiscId& disc) {
    ArLookupResult result;
    result.disc = disc;
    const auto* bytes = reinterpret_cast<const uint8_t*>(body.data());
    for (AccurateRipSubmission& submission : ParseAccurateRipFile({bytes, body.size()})) {
        const AccurateRipDiscId& id = submission.disc;
        if (id.audioTracks == disc.audioTracks && id.id1 == disc.id1 && id.id2 == disc.id2 &&
            id.cddbId == disc.cddbId) {
            result.submissions.push_back(std::move(submission));
        }
    }
    if (result.submissions.empty()) {
        result.status = ArLookupStatus::Failed;
        result.reason = "AccurateRip: the reply holds no checksums for this disc";
        return result;
    }
    result.status = ArLookupStatus::Found;
    result.reason = "AccurateRip: " + std::to_string(result.submissions.size()) + " submissions for the disc";
    return result;
}

ArLookupResult LookUpAccurateRip(const AccurateRipDiscId& disc, const std::string& driveKey,
                                 const VerifySettings& settings, const std::atomic<bool>* cancel) {
    ArLookupResult result;
    result.disc = disc;
    if (!settings.enabled) {
        result.reason = "AccurateRip lookup off";
        return result;
    }
    if (settings.server.empty()) {
        result.status = ArLookupStatus::Failed;
        result.reason = "AccurateRip: CADRIX_ACCURATERIP_SERVER is not an http:// or https:// address";
        result.unreachable = true;
        return result;
    }
    const auto deadline = std::chrono::steady_clock::now() + settings.timeout;
    if (disc.Valid()) result = AskDisc(disc, deadline, settings, cancel);
    if (!driveKey.empty()) AskDrive(result, driveKey, deadline, settings, cancel);
    return result;
}

AccurateRipLookup::AccurateRipLookup(AccurateRipDiscId disc, std::string driveKey, VerifySettings settings) {
    try {
        answer_ = std::async(std::launch::async, [this, disc, key = std::move(driveKey),
                                                  settings = std::move(settings)] {
                      try {
                          return LookUpAccurateRip(disc, key, settings, &cancel_);
                      } catch (...) {
                          ArLookupResult failed;
                          failed.status = ArLookupStatus::Failed;
                          failed.reason = "AccurateRip: the lookup stopped on an internal error";
                          return failed;
                      }
                  }).share();
    } catch (const std::system_error&) {
        std::promise<ArLookupResult> failed;
        failed.set_value({ArLookupStatus::Failed, "AccurateRip: cannot start the lookup's thread", disc, {}, {}, {}});
        answer_ = failed.get_future().share();
    }
}

AccurateRipLookup::~AccurateRipLookup() {
    cancel_.store(true, std::memory_order_release);
    if (answer_.valid()) answer_.wait();
}

bool AccurateRipLookup::Finished() const {
    return answer_.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

bool AccurateRipLookup::Wait(const std::atomic<int32_t>& stop) const {
    while (answer_.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
        if (stop.load(std::memory_order_relaxed) != 0) return false;
    }
    return true;
}

}  // namespace cadrix
