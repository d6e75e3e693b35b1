#include "util/build_info.h"

#if !defined(CADRIX_VERSION) || !defined(CADRIX_CONTACT)
#error "CADRIX_VERSION and CADRIX_CONTACT come from the build (engine/CMakeLists.txt)"
#endif

namespace cadrix {

std::string_view ClientVersion() { return CADRIX_VERSION; }

std::string_view ClientContact() { return CADRIX_CONTACT; }

std::string ClientUserAgent() {
    return "Cadrix/" + std::string(ClientVersion()) + " ( " + std::string(ClientContact()) + " )";
}

}  // namespace cadrix
