#include "disc/drive_set.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <type_traits>

namespace cadrix {

namespace {

constexpr const char* kLibraryName = "akrip.so";

template <auto Member>
void AssignEntry(AkripEntryPoints& entries, void* address) {
    using Proc = std::remove_reference_t<decltype(entries.*Member)>;
    entries.*Member = reinterpret_cast<Proc>(address);
}

struct EntrySlot {
    const char* name;
    void (*assign)(AkripEntryPoints&, void*);
};

// The exports, in the library's documented order.
constexpr EntrySlot kEntrySlots[] = {
    {"GetCDList", &AssignEntry<&AkripEntryPoints::GetCDList>},
    {"GetCDHandle", &AssignEntry<&AkripEntryPoints::GetCDHandle>},
    {"CloseCDHandle", &AssignEntry<&AkripEntryPoints::CloseCDHandle>},
    {"ModifyCDParms", &AssignEntry<&AkripEntryPoints::ModifyCDParms>},
    {"ReadTOC", &AssignEntry<&AkripEntryPoints::ReadTOC>},
    {"ReadCDAudioLBAEx", &AssignEntry<&AkripEntryPoints::ReadCDAudioLBAEx>},
    {"GetCDDBDiskID", &AssignEntry<&AkripEntryPoints::GetCDDBDiskID>},
};

// The optional exports (akrip_extras.h), bound when the library has them.
constexpr EntrySlot kOptionalSlots[] = {
    {"AkripSetReadAbort", &AssignEntry<&AkripEntryPoints::SetReadAbort>},
    {"AkripTakeReadStats", &AssignEntry<&AkripEntryPoints::TakeReadStats>},
    {"AkripSetReadOffset", &AssignEntry<&AkripEntryPoints::SetReadOffset>},
    {"AkripGetCdText", &AssignEntry<&AkripEntryPoints::GetCdText>},
    {"AkripSetReadMode", &AssignEntry<&AkripEntryPoints::SetReadMode>},
    {"AkripGetDriveInfo", &AssignEntry<&AkripEntryPoints::GetDriveInfo>},
    {"AkripGetTrackRange", &AssignEntry<&AkripEntryPoints::GetTrackRange>},
    {"AkripSetReadAhead", &AssignEntry<&AkripEntryPoints::SetReadAhead>},
    {"AkripGetTrackSessions", &AssignEntry<&AkripEntryPoints::GetTrackSessions>},
};

// Room for the identifier words of the largest usable TOC (99 tracks + 3).
using DiscIdWords = std::array<uint32_t, TRACK_SLOTS + 2>;

// Word 0 of GetCDDBDiskID for a TOC that IsTocUsable accepted.
uint32_t QueryDiscId(const AkripEntryPoints& akrip, HCDROM handle, const TocBuffer& toc) {
    DiscIdWords words{};
    akrip.GetCDDBDiskID(handle, words.data(), int32_t{toc.lastTrack} + 3);
    return words[0];
}

// The session of each track of the TOC just read; none when the library
// cannot tell (every track is then taken as in one session).
std::span<const uint8_t> QuerySessions(const AkripEntryPoints& akrip, HCDROM handle, int32_t tracks,
                                       std::array<uint8_t, TRACK_SLOTS>& sessions) {
    if (akrip.GetTrackSessions == nullptr) return {};
    const int32_t filled = akrip.GetTrackSessions(handle, sessions.data(), std::min<int32_t>(tracks, TRACK_SLOTS));
    return std::span<const uint8_t>(sessions.data(), static_cast<size_t>(std::clamp(filled, 0, tracks)));
}

std::string TrimTrailingBlanks(const char* text, size_t capacity) {
    std::string name(text, strnlen(text, capacity));
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return name;
}

}  // namespace

bool AkripEntryPoints::Bind() {
    Unbind();
    module = LoadModule(kLibraryName);
    if (!module) return false;
    for (const EntrySlot& slot : kEntrySlots) {
        void* address = FindSymbol(module, slot.name);
        if (address == nullptr) {
            Unbind();
            return false;
        }
        slot.assign(*this, address);
    }
    for (const EntrySlot& slot : kOptionalSlots) slot.assign(*this, FindSymbol(module, slot.name));
    return true;
}

void AkripEntryPoints::Unbind() {
    // Every pointer back to null and the module unloaded.
    *this = AkripEntryPoints{};
}

DriveSet::~DriveSet() { Release(); }

bool DriveSet::InitAKRip() {
    Release();
    driveCount = 0;
    currentDrive = 0;
    if (!akrip.Bind()) return false;

    DriveListBuffer list{};
    akrip.GetCDList(&list);
    driveCount = std::min<int32_t>(list.count, MAX_DRIVES);
    for (int k = 0; k < driveCount; ++k) {
        const DriveListEntry& entry = list.entries[k];
        HandleRequest request{};
        request.size = sizeof(HandleRequest);
        request.version = 1;
        request.hostAdapter = entry.hostAdapter;
        request.target = entry.target;
        request.lun = entry.lun;
        request.readType = 0;
        request.jitterCorrection = 0;
        request.jitterFrames = 1;
        request.overlapFrames = 3;
        DriveRecord& drive = drives[static_cast<size_t>(k)];
        drive = DriveRecord{};
        drive.name = TrimTrailingBlanks(entry.productId, sizeof entry.productId);
        // A zero handle is kept: the drive keeps its tab and simply shows no disc.
        drive.handle = akrip.GetCDHandle(&request);
    }
    if (driveCount != 0) return true;
    akrip.Unbind();
    return false;
}

void DriveSet::ReadDisc(int drive) {
    if (drive < 0 || drive >= driveCount) return;
    DriveRecord& record = drives[static_cast<size_t>(drive)];
    ClearDisc(record);
    if (!akrip.IsBound()) return;

    // TOC addresses must come back as frame numbers, not minute/second/frame.
    akrip.ModifyCDParms(record.handle, AKRIP_PARM_MSF, 0);
    akrip.ReadTOC(record.handle, &record.toc);
    if (record.toc.lastTrack == 0) return;
    if (!IsTocUsable(record.toc)) {
        record.toc = TocBuffer{};
        return;
    }
    record.discId = QueryDiscId(akrip, record.handle, record.toc);
    ApplyToc(record);
    std::array<uint8_t, TRACK_SLOTS> sessions{};
    ApplySessions(record, QuerySessions(akrip, record.handle, record.trackCount, sessions));
    ReadDiscDatabase(drive);
}

std::string DriveSet::ReadCdText(int drive) {
    if (!akrip.IsBound() || akrip.GetCdText == nullptr || drive < 0 || drive >= driveCount) return {};
    const HCDROM handle = drives[static_cast<size_t>(drive)].handle;
    const int32_t needed = akrip.GetCdText(handle, nullptr, 0);
    if (needed >= 0) return {};
    // CD-Text of a whole disc is a few kilobytes at most.
    std::string text(static_cast<size_t>(std::min<int32_t>(-needed, 1 << 20)), '\0');
    const int32_t length = akrip.GetCdText(handle, text.data(), static_cast<int32_t>(text.size()));
    if (length <= 0) return {};
    text.resize(static_cast<size_t>(length));
    return text;
}

void DriveSet::RereadNames(int drive) {
    if (drive < 0 || drive >= driveCount) return;
    ClearNames(drives[static_cast<size_t>(drive)]);
    ReadDiscDatabase(drive);
}

void DriveSet::ReadDiscDatabase(int drive) {
    if (drive < 0 || drive >= driveCount) return;
    if (nameReader) nameReader(*this, drives[static_cast<size_t>(drive)]);
}

bool DriveSet::ProbeDiscChange() {
    bool currentChanged = false;
    for (int k = 0; k < driveCount; ++k) {
        if (ProbeDrive(k) && k == currentDrive) currentChanged = true;
    }
    return currentChanged;
}

bool DriveSet::ProbeDrive(int drive) {
    if (!akrip.IsBound() || drive < 0 || drive >= driveCount || !DiscChanged(drive)) return false;
    if (drive == extractingDrive_) {
        rereadPending_ = true;
        return false;
    }
    ReadDisc(drive);
    return true;
}

void DriveSet::BeginExtraction(int drive) {
    extractingDrive_ = drive;
    rereadPending_ = false;
}

bool DriveSet::EndExtraction() {
    const int drive = extractingDrive_;
    extractingDrive_ = -1;
    // A disc changed during the run fails the drive's reads until its TOC is
    // read again; a drive without disc-change events (no udev, a container)
    // would never be re-read, so the extracted drive is looked at here.
    if (drive < 0 || drive >= driveCount) return false;
    if (!rereadPending_) rereadPending_ = DiscChanged(drive);
    if (!rereadPending_) return false;
    rereadPending_ = false;
    ReadDisc(drive);
    return drive == currentDrive;
}

bool DriveSet::DiscChanged(int drive) {
    if (!akrip.IsBound()) return false;
    const DriveRecord& record = drives[static_cast<size_t>(drive)];
    TocBuffer scratch{};
    akrip.ReadTOC(record.handle, &scratch);
    const uint32_t discId = IsTocUsable(scratch) ? QueryDiscId(akrip, record.handle, scratch) : 0;
    return discId != record.discId;
}

void DriveSet::Release() {
    if (!akrip.IsBound()) return;
    for (int k = 0; k < driveCount; ++k) {
        DriveRecord& record = drives[static_cast<size_t>(k)];
        if (record.handle != 0) akrip.CloseCDHandle(record.handle);
        record.handle = 0;
    }
    akrip.Unbind();
}

}  // namespace cadrix
