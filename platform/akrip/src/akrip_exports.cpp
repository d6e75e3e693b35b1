// The C entry points of akrip.so: the seven of the library and the optional
// ones of akrip_extras.h. Nothing thrown inside may cross them.
#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "akrip_extras.h"
#include "akrip_records.h"
#include "cd_text.h"
#include "cddb_id.h"
#include "cdio_guard.h"
#include "drive_registry.h"
#include "image_plan.h"
#include "toc_record.h"

// The C records count a frame as every part of Cadrix does.
static_assert(AKRIP_FRAME_BYTES == akrip::kAudioSectorBytes);

namespace {

using akrip::DriveRegistry;

// libcdio's default log handler may end the process: replace it on load.
const bool kLogHandlerInstalled = [] {
    akrip::InstallCdioLogHandler();
    return true;
}();

// Runs `call` on the open handle `handle`, holding the handle's lock when
// `locked` (calls that must not wait for a read in progress do not); 0 for
// an unknown handle or anything thrown.
template <typename Call>
int32_t OnOpenHandle(HCDROM handle, bool locked, Call&& call) noexcept {
    try {
        auto open = DriveRegistry::Instance().Find(handle);
        if (!open) return 0;
        std::unique_lock lock(open->mutex, std::defer_lock);
        if (locked) lock.lock();
        return call(*open);
    } catch (...) {
        return 0;
    }
}

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
        open->msf.store(value != 0);
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
        akrip::DiscToc disc;
        // A read in progress keeps the disc it reads: answer with the TOC
        // read last instead of waiting for the read to end.
        std::unique_lock lock(open->mutex, std::try_to_lock);
        if (lock.owns_lock()) disc = open->drive->ReadToc();
        {
            std::lock_guard tocLock(open->tocMutex);
            if (lock.owns_lock()) open->lastToc = disc;
            disc = open->lastToc.value_or(akrip::DiscToc{});
        }
        akrip::FillTocRecord(disc, open->msf.load(), *toc);
        return toc->lastTrack != 0 ? 1 : 0;
    } catch (...) {
        std::memset(toc, 0, sizeof *toc);
        return 0;
    }
}

// The overlap buffer is the library's to fill: its status word holds the
// drive's disc generation at the run's first read (the caller starts a run
// with it zeroed), and a read after the disc changed fails instead of
// going on with another disc's audio.
AKRIP_EXPORT int32_t ReadCDAudioLBAEx(HCDROM handle, ReadBuffer* main, ReadBuffer* overlap) {
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
        const uint32_t generation = open->drive->Generation();
        if (overlap && overlap->status == 0) overlap->status = generation;
        uint32_t read = 0;
        if (!overlap || overlap->status == generation) {
            read = open->drive->ReadAudio(main->startFrame, frames, ReadBufferData(main));
        }
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
        std::optional<akrip::DiscToc> disc;
        {
            std::lock_guard tocLock(open->tocMutex);
            disc = open->lastToc;
        }
        if (!disc) {
            std::unique_lock lock(open->mutex, std::try_to_lock);
            disc = lock.owns_lock() ? open->drive->ReadToc() : akrip::DiscToc{};
        }
        if (ids && wordCount > 0) {
            akrip::FillCddbWords(*disc, std::span(ids, static_cast<size_t>(wordCount)));
        }
        return akrip::CddbDiscId(*disc);
    } catch (...) {
        return 0;
    }
}

AKRIP_EXPORT int32_t AkripSetReadAbort(HCDROM handle, int32_t abort) {
    return OnOpenHandle(handle, false, [&](akrip::OpenHandle& open) {
        open.drive->SetAbort(abort != 0);
        return 1;
    });
}

AKRIP_EXPORT int32_t AkripTakeReadStats(HCDROM handle, AkripReadStats* stats) {
    if (!stats) return 0;
    std::memset(stats, 0, sizeof *stats);
    return OnOpenHandle(handle, true, [&](akrip::OpenHandle& open) {
        const akrip::ReadStats taken = open.drive->TakeStats();
        stats->sectorsReread = taken.sectorsReread;
        stats->corrections = taken.corrections;
        stats->unreadableCount = static_cast<uint32_t>(taken.unreadable.size());
        for (size_t k = 0; k < taken.unreadable.size() && k < AKRIP_STATS_UNREADABLE_SLOTS; ++k) {
            stats->unreadable[k] = static_cast<uint32_t>(taken.unreadable[k]);
        }
        stats->failure = taken.failure == akrip::ReadFailure::DiscGone     ? AKRIP_FAILURE_NO_DISC
                         : taken.failure == akrip::ReadFailure::Unreadable ? AKRIP_FAILURE_UNREADABLE
                                                                           : AKRIP_FAILURE_NONE;
        return 1;
    });
}

AKRIP_EXPORT int32_t AkripSetReadOffset(HCDROM handle, int32_t samples) {
    return OnOpenHandle(handle, true, [&](akrip::OpenHandle& open) {
        open.drive->SetReadOffset(akrip::ClampReadOffset(samples));
        return 1;
    });
}

AKRIP_EXPORT int32_t AkripGetCdText(HCDROM handle, char* buffer, int32_t capacity) {
    // The TOC's own lock, so a read in progress does not hold this up.
    return OnOpenHandle(handle, false, [&](akrip::OpenHandle& open) {
        std::string lines;
        {
            std::lock_guard tocLock(open.tocMutex);
            if (open.lastToc) lines = akrip::CdTextLines(*open.lastToc);
        }
        if (lines.empty()) return 0;
        const auto length = static_cast<int32_t>(std::min<size_t>(lines.size(), INT32_MAX - 1));
        if (buffer == nullptr || capacity <= length) return -(length + 1);
        std::memcpy(buffer, lines.data(), static_cast<size_t>(length));
        buffer[length] = '\0';
        return length;
    });
}

AKRIP_EXPORT int32_t AkripSetReadMode(HCDROM handle, int32_t mode) {
    if (mode != AKRIP_READ_SECURE && mode != AKRIP_READ_BURST) return 0;
    return OnOpenHandle(handle, true, [&](akrip::OpenHandle& open) {
        open.drive->SetBurst(mode == AKRIP_READ_BURST);
        return 1;
    });
}

AKRIP_EXPORT int32_t AkripGetDriveInfo(HCDROM handle, AkripDriveInfo* info) {
    if (!info) return 0;
    std::memset(info, 0, sizeof *info);
    const int32_t known = OnOpenHandle(handle, true, [&](akrip::OpenHandle& open) {
        const akrip::DriveIdentity identity = open.drive->Identity();
        if (!identity.known) return 0;
        auto copy = [](char* field, size_t size, const std::string& text) {
            std::memcpy(field, text.data(), std::min(size - 1, text.size()));
        };
        copy(info->vendor, sizeof info->vendor, identity.vendor);
        copy(info->model, sizeof info->model, identity.model);
        copy(info->revision, sizeof info->revision, identity.revision);
        info->flags = identity.isVirtual ? AKRIP_DRIVE_VIRTUAL : 0;
        return 1;
    });
    if (known == 0) std::memset(info, 0, sizeof *info);
    return known;
}

AKRIP_EXPORT int32_t AkripGetTrackRange(HCDROM handle, int32_t track, int32_t* first, int32_t* end) {
    if (!first || !end) return 0;
    return OnOpenHandle(handle, true, [&](akrip::OpenHandle& open) {
        const auto range = open.drive->TrackRange(track);
        if (!range) return 0;
        *first = static_cast<int32_t>(range->begin);
        *end = static_cast<int32_t>(range->end);
        return 1;
    });
}

AKRIP_EXPORT int32_t AkripSetReadAhead(HCDROM handle, int32_t end) {
    return OnOpenHandle(handle, true, [&](akrip::OpenHandle& open) {
        open.drive->SetReadAhead(end);
        return 1;
    });
}

AKRIP_EXPORT int32_t AkripGetTrackSessions(HCDROM handle, uint8_t* sessions, int32_t count) {
    if (!sessions || count <= 0) return 0;
    // The TOC's own lock, so a read in progress does not hold this up.
    return OnOpenHandle(handle, false, [&](akrip::OpenHandle& open) {
        std::lock_guard tocLock(open.tocMutex);
        if (!open.lastToc) return 0;
        const auto& tracks = open.lastToc->tracks;
        const size_t filled = std::min(tracks.size(), static_cast<size_t>(count));
        for (size_t k = 0; k < filled; ++k) sessions[k] = tracks[k].session;
        return static_cast<int32_t>(filled);
    });
}
