// Feeds arbitrary bytes to the ini reader that finds the database folder,
// and names a database file in the folder it yields.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "names/disc_database.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace cadrix;
    const std::string_view ini(reinterpret_cast<const char*>(data), size);
    const std::string dir = ParseDataDir(ini);
    if (dir.empty()) return 0;
    // A folder only comes from a "datadir:" line and always ends in '/'.
    if (dir.back() != '/' || ini.find("datadir:") == std::string_view::npos) std::abort();
    uint32_t id = 0;
    std::memcpy(&id, data, size < sizeof id ? size : sizeof id);
    const std::string path = DiscDatabasePath(dir, id);
    if (path.size() > dir.size() + 12 || !path.ends_with(".cdb")) std::abort();
    return 0;
}
