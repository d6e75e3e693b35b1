// The C entry points of an encoder plug-in over its module-wide session.
// Nothing thrown inside may reach the host: an allocation failure is a
// failed call.
#define CADRIX_PLUGIN_IMPLEMENTATION
#include "cadrix_plugin.h"
#include "plugin_session.h"

#include <vector>

using cadrix::plugin::ModuleSession;

int32_t OpenOutput(const char* baseName, int32_t qualityCode, const OutputTrackInfo* info) {
    int32_t opened = 0;
    try {
        opened = ModuleSession().OpenOutput(baseName, qualityCode, info);
    } catch (...) {}
    ModuleSession().ClearExtras();
    return opened;
}

int32_t WriteOutput(const uint8_t* pcm, uint32_t byteCount) {
    try {
        return ModuleSession().WriteOutput(pcm, byteCount);
    } catch (...) {
        return 0;
    }
}

void CloseOutput(void) {
    try {
        ModuleSession().CloseOutput();
    } catch (...) {}
}

void SetTrackExtras(const OutputTrackExtras* extras) {
    try {
        ModuleSession().SetExtras(extras);
    } catch (...) {
        ModuleSession().ClearExtras();
    }
}

const char* OutputErrorText(void) {
    // The text lives in the session until its next call.
    return ModuleSession().LastError().c_str();
}

int32_t RetagOutput(const char* fileName, const OutputTag* tags, int32_t count) {
    if (fileName == nullptr || *fileName == '\0' || count < 0 || (tags == nullptr && count > 0)) return 0;
    try {
        std::vector<cadrix::plugin::Tag> list;
        for (int32_t i = 0; i < count; ++i) {
            if (tags[i].name == nullptr || *tags[i].name == '\0' || tags[i].value == nullptr) return 0;
            list.push_back({tags[i].name, tags[i].value});
        }
        return ModuleSession().RetagOutput(fileName, list);
    } catch (...) {
        return 0;
    }
}
