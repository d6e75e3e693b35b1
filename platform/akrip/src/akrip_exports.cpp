// The seven C entry points of akrip.so. Nothing thrown inside may cross them.
#include <cstring>
#include <span>

#include "akrip_records.h"
#include "cddb_id.h"
#include "cdio_guard.h"
#include "drive_registry.h"
#include "image_plan.h"
#include "toc_record.h"

namespace {

using akrip::DriveRegistry;

// libcdio's default log handler may end the process: replace it on load.
const bool kLogHandlerInstalled = [] {
    akrip::InstallCdioLogHandler();
    return true;
}();

}  // namespace

#define AKRIP_EXPORT extern "C" __attribute__((visibility("default")))

AKRIP_EXPORT int32_t GetCDList(DriveListBuffer* list) {
    if (!list) return 0;
    try {
        DriveRegistry::Instance().List(*list);
        return list->count;
    } catch (...) {
        list->count = 0;
        return 0;
    }
}

AKRIP_EXPORT HCDROM GetCDHandle(HandleRequest* request) {
    if (!request) return 0;
    try {
        return DriveRegistry::Instance().Open(*request);
    } catch (...) {
        return 0;
    }
}

AKRIP_EXPORT int32_t CloseCDHandle(HCDROM handle) {
    try {
        return DriveRegistry::Instance().Close(handle) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

AKRIP_EXPORT int32_t ModifyCDParms(HCDROM handle, int32_t parameter, uint32_t value) {
    try {
        auto open = DriveRegistry::Instance().Find(handle);
        if (!open || parameter != AKRIP_PARM_MSF) return 0;
        std::lock_guard lock(open->mutex);
        open->msf = value != 0;
        return 1;
    } catch (...) {
        return 0;
    }
}

AKRIP_EXPORT int32_t ReadTOC(HCDROM handle, TocBuffer* toc) {
    if (!toc) return 0;
    std::memset(toc, 0, sizeof *toc);
    try {
        auto open = DriveRegistry::Instance().Find(handle);
        if (!open) return 0;
        std::lock_guard lock(open->mutex);
        open->lastToc.reset();
        open->lastToc = open->drive->ReadToc();
        akrip::FillTocRecord(*open->lastToc, open->msf, *toc);
        return toc->lastTrack != 0 ? 1 : 0;
    } catch (...) {
        std::memset(toc, 0, sizeof *toc);
        return 0;
    }
}

AKRIP_EXPORT int32_t ReadCDAudioLBAEx(HCDROM handle, ReadBuffer* main, ReadBuffer* /*overlap*/) {
    if (!main) return 0;
    try {
        auto open = DriveRegistry::Instance().Find(handle);
        const uint32_t frames = main->frameCount;
        if (!open || frames == 0 || frames > AKRIP_MAX_READ_FRAMES ||
            frames > main->capacity / akrip::kAudioSectorBytes) {
            main->validBytes = 0;
            return 0;
        }
        std::lock_guard lock(open->mutex);
        const uint32_t read = open->drive->ReadAudio(main->startFrame, frames, ReadBufferData(main));
        if (read == 0) {
            main->validBytes = 0;
            main->status = 1;
            return 0;
        }
        main->frameCount = read;
        main->validBytes = read * akrip::kAudioSectorBytes;
        main->dataOffset = 0;
        main->status = 0;
        return 1;
    } catch (...) {
        main->validBytes = 0;
        return 0;
    }
}

AKRIP_EXPORT uint32_t GetCDDBDiskID(HCDROM handle, uint32_t* ids, int32_t wordCount) {
    try {
        auto open = DriveRegistry::Instance().Find(handle);
        if (!open) return 0;
        std::lock_guard lock(open->mutex);
        const akrip::DiscToc disc = open->lastToc ? *open->lastToc : open->drive->ReadToc();
        if (ids && wordCount > 0) {
            akrip::FillCddbWords(disc, std::span(ids, static_cast<size_t>(wordCount)));
        }
        return akrip::CddbDiscId(disc);
    } catch (...) {
        return 0;
    }
}
