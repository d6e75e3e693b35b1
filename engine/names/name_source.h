// The contract of a name source (an online service now, CD-Text later): what
// it is asked about a disc, what it may use, and what it answers.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "akrip_records.h"
#include "util/build_info.h"
#include "disc/disc_model.h"
#include "names/disc_names.h"
#include "util/http_client.h"

namespace cadrix {

// A disc as ReadDisc found it: a copy, so a worker thread may use it while
// the record is read again.
struct DiscQuery {
    uint32_t discId = 0;      // CDDB id of the whole TOC; names the disc's file
    TocBuffer toc{};          // lead-out entry included
    int32_t trackCount = 0;   // 1..99 for a usable query
    std::string cdText;       // the disc's CD-Text lines, when the drive gave any

    bool IsData(int32_t track) const;
    // The start frame of track 1..trackCount, or the lead-out for trackCount + 1.
    uint32_t Start(int32_t track) const;
    int32_t AudioTrackCount() const;
    // The first and last audio track; 0 when the disc has none.
    int32_t FirstAudioTrack() const;
    int32_t LastAudioTrack() const;
    // Where the disc's audio ends: the lead-out, or for an Enhanced CD the
    // start of its data session less the gap between sessions. 0 without audio.
    uint32_t AudioEnd() const;
};

// The query for a record that ReadDisc filled; trackCount 0 when the record
// has no disc.
DiscQuery MakeDiscQuery(const DriveRecord& record);

enum class LookupStatus { Found, NotFound, Failed };

struct LookupReply {
    LookupStatus status = LookupStatus::NotFound;
    std::string reason;  // one line: where the names came from, or why there are none
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

// GETs `request.url` in the time left before `deadline` of a lookup allowed
// `timeout` as a whole (request.timeout is set here); a time-out is told as
// the whole lookup's.
HttpResponse GetBeforeDeadline(HttpRequest request, std::chrono::steady_clock::time_point deadline,
                               std::chrono::milliseconds timeout);

// Why `response` is no usable reply: its error, or "HTTP <status>" when it
// is complete but its status is not 200.
std::string DescribeFailure(const HttpResponse& response);

}  // namespace cadrix
