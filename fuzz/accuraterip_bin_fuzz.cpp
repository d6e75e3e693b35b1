// A database file as a reply: the submissions read from it must lie within
// it, and judging any track of the disc it names must not fail.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "verify/accuraterip_lookup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace cadrix;
    const std::vector<AccurateRipSubmission> submissions = ParseAccurateRipFile({data, size});
    size_t bytes = 0;
    for (const AccurateRipSubmission& submission : submissions) {
        if (submission.tracks.size() != submission.disc.audioTracks) std::abort();
        bytes += 13 + 9 * submission.tracks.size();
    }
    if (bytes > size) std::abort();
    const AccurateRipDiscId disc = submissions.empty() ? AccurateRipDiscId{} : submissions.front().disc;
    const ArLookupResult judged = JudgeAccurateRipReply({reinterpret_cast<const char*>(data), size}, disc);
    if ((judged.status == ArLookupStatus::Found) == judged.submissions.empty()) std::abort();
    for (int32_t track = 0; track <= 100; ++track) {
        const ArTrackResult result = MatchTrack(submissions, disc, track, 0x12345678, track);
        if (result.verdict == ArVerdict::Accurate && result.confidence > 255) std::abort();
    }
    return 0;
}
