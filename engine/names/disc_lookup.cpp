#include "names/disc_lookup.h"

#include "names/cd_text_source.h"

#include <system_error>

#include "names/cover_art.h"
#include "names/gnudb_lookup.h"
#include "names/musicbrainz_lookup.h"
#include "util/build_info.h"
#include "util/small_file.h"

namespace cadrix {

namespace {

struct SourceEntry {
    NameSource lookUp;
    bool online;
};

// In the order they are asked: CD-Text, read from the disc itself, needs no
// network and goes first.
constexpr SourceEntry kSources[] = {
    {&LookUpCdText, false},
    {&LookUpMusicBrainz, true},
    {&LookUpGnudb, true},
};

bool IsCancelled(const std::atomic<bool>* cancel) {
    return cancel != nullptr && cancel->load(std::memory_order_acquire);
}

LookupReply Cancelled() {
    LookupReply reply;
    reply.status = LookupStatus::Failed;
    reply.reason = "the lookup was cancelled";
    return reply;
}

// Candidates that get a cover looked for; a chooser rarely shows more.
constexpr size_t kMaxCovers = 3;

void AddCovers(LookupReply& reply, const LookupSettings& settings, const LookupContext& context) {
    CoverFetch fetch;
    fetch.server = settings.coverArtServer;
    fetch.userAgent = context.userAgent;
    fetch.cancel = context.cancel;
    size_t tried = 0;
    for (ReleaseCandidate& release : reply.releases) {
        if (release.names.ids.release.empty() || tried == kMaxCovers || IsCancelled(context.cancel)) continue;
        ++tried;
        if (auto cover = FetchFrontCover(fetch, release.names.ids.release)) release.cover = std::move(*cover);
    }
}

}  // namespace

LookupSettings LookupSettings::FromEnvironment(bool enabled) {
    LookupSettings settings;
    settings.enabled = enabled;
    settings.musicBrainzServer = ServiceBaseUrl("CADRIX_MUSICBRAINZ_SERVER", MUSICBRAINZ_DEFAULT_SERVER);
    settings.gnudbServer = ServiceBaseUrl("CADRIX_GNUDB_SERVER", GNUDB_DEFAULT_SERVER);
    settings.coverArtServer = ServiceBaseUrl("CADRIX_COVERART_SERVER", COVERART_DEFAULT_SERVER);
    return settings;
}

bool NeedsLookup(const DriveRecord& record, std::string_view suiteFolder, std::string_view ownFolder) {
    const DiscQuery disc = MakeDiscQuery(record);
    return !ownFolder.empty() && disc.AudioTrackCount() > 0 && !HasDiscFile(suiteFolder, disc.discId) &&
           !HasDiscFile(ownFolder, disc.discId);
}

LookupReply LookUpDiscNames(const DiscQuery& disc, const LookupSettings& settings, const std::atomic<bool>* cancel) {
    LookupReply result;
    if (disc.AudioTrackCount() == 0) {
        result.reason = "the disc has no audio track";
        return result;
    }
    LookupContext context;
    context.musicBrainzServer = settings.musicBrainzServer;
    context.gnudbServer = settings.gnudbServer;
    context.userAgent = ClientUserAgent();
    context.timeout = settings.timeout;
    context.deadline = std::chrono::steady_clock::now() + settings.timeout;
    context.cancel = cancel;
    for (const SourceEntry& source : kSources) {
        if (source.online && !settings.enabled) continue;
        LookupReply reply = source.lookUp(disc, context);
        if (IsCancelled(cancel)) return Cancelled();
        if (reply.status == LookupStatus::Found) {
            if (source.online) AddCovers(reply, settings, context);
            return reply;
        }
        if (reply.status == LookupStatus::Failed) result.status = LookupStatus::Failed;
        if (!reply.reason.empty()) result.reason += (result.reason.empty() ? "" : "; ") + reply.reason;
    }
    if (result.reason.empty()) result.reason = "online lookup is off";
    return result;
}

SaveOutcome SaveRelease(const ReleaseCandidate& release, const DiscQuery& disc, std::string_view ownFolder,
                        std::string_view suiteFolder, std::string& path) {
    const std::string text = DiscFileText(release.names, disc.trackCount, "Cadrix: names from " + release.source);
    const SaveOutcome outcome = SaveDiscFile(ownFolder, suiteFolder, disc.discId, text, path);
    if (outcome == SaveOutcome::Written && !release.cover.bytes.empty()) {
        CreateFileAtomically(OwnCoverPath(ownFolder, disc.discId, release.cover.Extension()), release.cover.bytes);
    }
    return outcome;
}

DiscLookup::DiscLookup(DiscQuery disc, LookupSettings settings, Done done)
    : disc_(std::move(disc)), settings_(std::move(settings)), done_(std::move(done)) {
    try {
        worker_ = std::thread(&DiscLookup::Run, this);
    } catch (const std::system_error&) {
        result_.status = LookupStatus::Failed;
        result_.reason = "cannot start the lookup's thread";
        finished_.store(true, std::memory_order_release);
    }
}

DiscLookup::~DiscLookup() {
    Cancel();
    if (worker_.joinable()) worker_.join();
}

void DiscLookup::Run() {
    try {
        result_ = LookUpDiscNames(disc_, settings_, &cancel_);
    } catch (...) {
        result_ = LookupReply{LookupStatus::Failed, "the lookup stopped on an internal error", {}};
    }
    finished_.store(true, std::memory_order_release);
    if (done_) done_();
}

}  // namespace cadrix
