// Feeds arbitrary bytes to the MusicBrainz discid reply parser as the reply
// for a three-track disc, and checks the releases it keeps.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "lookup_reply_checks.h"
#include "names/musicbrainz_lookup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace cadrix;
    const DiscQuery disc = fuzz::ThreeTrackDisc();
    const LookupReply reply = ParseMusicBrainzReply(std::string_view(reinterpret_cast<const char*>(data), size), disc,
                                                    "@DISCID@");
    if ((reply.status == LookupStatus::Found) == reply.releases.empty() || reply.releases.size() > 20) std::abort();
    for (const ReleaseCandidate& release : reply.releases) {
        if (release.trackCount != 3) std::abort();
        fuzz::CheckRelease(release, disc.trackCount);
    }
    return 0;
}
