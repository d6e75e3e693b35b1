// Feeds arbitrary bytes to the disc database reader as a whole file, then
// lists the disc as the track list would.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "disc/disc_model.h"
#include "names/disc_database.h"
#include "names/genre_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace cadrix;
    DriveRecord record;
    record.trackCount = 99;
    for (int t = 1; t <= 99; ++t) record.tracks[static_cast<size_t>(t)].selected = 1;
    ParseDiscDatabase(std::string_view(reinterpret_cast<const char*>(data), size), record);

    bool knownGenre = false;
    for (std::string_view name : GenreTable) knownGenre = knownGenre || name == record.genre;
    if (!knownGenre) std::abort();

    const TrackListing listing = FillTrackList(record);
    if (listing.rows.size() != 99) std::abort();
    for (const TrackRow& row : listing.rows) {
        if (row.title.empty() || row.title.size() > MAX_TITLE_BYTES) std::abort();
    }
    if (listing.caption.empty()) std::abort();
    return 0;
}
