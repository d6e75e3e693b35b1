// The drive offset list over arbitrary bytes: every entry read has a name
// and an offset within the range taken, and every one of them is found.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "verify/drive_offsets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace cadrix;
    const std::vector<DriveOffsetEntry> entries = ParseDriveOffsets({data, size});
    if (entries.size() > size / DRIVE_OFFSET_RECORD_BYTES) std::abort();
    for (const DriveOffsetEntry& entry : entries) {
        if (entry.key.empty() || entry.offset < -MAX_LISTED_OFFSET || entry.offset > MAX_LISTED_OFFSET) std::abort();
        if (entry.key != DriveKey({}, entry.key)) std::abort();  // keys are already normal
        if (!FindDriveOffset(entries, entry.key)) std::abort();
    }
    return 0;
}
