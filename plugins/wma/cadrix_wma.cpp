// The exported entry points of cadrix_wma.so over the module-wide session.
#define CADRIX_PLUGIN_IMPLEMENTATION
#include "cadrix_plugin.h"
#include "wma_session.h"

namespace {

WmaSession& Session() {
    static WmaSession session(WmaPlatform::System());
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
