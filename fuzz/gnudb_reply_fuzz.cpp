// Feeds arbitrary bytes to the gnudb reply parsers, as the reply to "cddb
// query" and as the reply to "cddb read" for a three-track disc.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "lookup_reply_checks.h"
#include "names/gnudb_lookup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace cadrix;
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const GnudbMatches matches = ParseGnudbQueryReply(body);
    if (matches.matches.size() > 3) std::abort();
    for (const GnudbMatch& match : matches.matches) {
        // Both go into the read request's URL unescaped.
        if (match.discId.size() != 8 || match.discId.find_first_not_of("0123456789abcdef") != std::string::npos ||
            match.category.find_first_not_of("abcdefghijklmnopqrstuvwxyz") != std::string::npos) {
            std::abort();
        }
    }
    const DiscQuery disc = fuzz::ThreeTrackDisc();
    std::string reason;
    if (const auto release = ParseGnudbEntry(body, "misc", disc, reason)) {
        fuzz::CheckRelease(*release, disc.trackCount);
    } else if (reason.empty()) {
        std::abort();
    }
    return 0;
}
