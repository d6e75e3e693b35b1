// Linked into every test program: the online services a test does not point
// at a local stand-in of its own are a closed local port, for the test and
// every program it starts, so no test reaches the real network.
#include <cstdlib>
#include <initializer_list>

namespace {

const bool kOffline = [] {
    for (const char* name :
         {"CADRIX_ACCURATERIP_SERVER", "CADRIX_MUSICBRAINZ_SERVER", "CADRIX_GNUDB_SERVER", "CADRIX_COVERART_SERVER"}) {
        setenv(name, "http://127.0.0.1:9", 0);
    }
    return true;
}();

}  // namespace
