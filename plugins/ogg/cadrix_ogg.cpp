// The exported entry points of cadrix_ogg.so over the module-wide session.
#define CADRIX_PLUGIN_IMPLEMENTATION
#include "cadrix_plugin.h"
#include "ogg_session.h"

namespace {

OggSession& Session() {
    static OggSession session;
    return session;
}

}  // namespace

// Nothing may escape into the host: an allocation failure is a failed call.
int32_t OpenOutput(const char* baseName, int32_t qualityCode, const OutputTrackInfo* info) {
    try {
        return Session().OpenOutput(baseName, qualityCode, info);
    } catch (...) {
        return 0;
    }
}

int32_t WriteOutput(const uint8_t* pcm, uint32_t byteCount) {
    try {
        return Session().WriteOutput(pcm, byteCount);
    } catch (...) {
        return 0;
    }
}

void CloseOutput(void) {
    try {
        Session().CloseOutput();
    } catch (...) {
    }
}
