#include "verify/track_verifier.h"

#include <cstring>

#include "verify/drive_offsets.h"

namespace cadrix {

std::string DriveFacts::Key() const { return DriveKey(vendor, model); }

DriveFacts QueryDriveFacts(AkripGetDriveInfoProc getInfo, HCDROM handle) {
    DriveFacts facts;
    AkripDriveInfo info{};
    if (getInfo == nullptr || getInfo(handle, &info) != 1) return facts;
    facts.known = true;
    facts.isVirtual = (info.flags & AKRIP_DRIVE_VIRTUAL) != 0;
    facts.vendor.assign(info.vendor, strnlen(info.vendor, sizeof info.vendor));
    facts.model.assign(info.model, strnlen(info.model, sizeof info.model));
    return facts;
}

void RunVerifier::Configure(const DriveRecord& disc, Binding binding, DriveFacts drive,
                            std::optional<std::pair<int32_t, OffsetSource>> fixed,
                            std::shared_ptr<AccurateRipLookup> lookup) {
    binding_ = binding;
    drive_ = std::move(drive);
    lookup_ = std::move(lookup);
    const DiscQuery query = MakeDiscQuery(disc);
    firstAudio_ = query.FirstAudioTrack();
    lastAudio_ = query.LastAudioTrack();
    offsetFixed_ = fixed.has_value();
    offset_ = fixed ? fixed->first : 0;
    source_ = fixed ? fixed->second : OffsetSource::None;
    offsetApplied_ = false;
    tracks_ = {};
}

const ArLookupResult* RunVerifier::Lookup() const {
    return lookup_ && lookup_->Finished() ? &lookup_->Result() : nullptr;
}

void RunVerifier::ApplyOffset() {
    if (offsetApplied_) return;
    offsetApplied_ = true;
    if (!offsetFixed_) {
        const ArLookupResult* result = Lookup();
        if (result != nullptr && result->listedOffset) {
            offset_ = *result->listedOffset;
            source_ = OffsetSource::AccurateRipList;
        }
    }
    // An image reads exactly; a real drive is told every time, so an offset
    // set for an earlier run does not linger.
    if (source_ != OffsetSource::Image && binding_.setReadOffset != nullptr) {
        binding_.setReadOffset(binding_.handle, offset_);
    }
}

bool RunVerifier::BeginTrack(int32_t track, const std::atomic<int32_t>& abort, bool& burst) {
    burst = false;
    if (lookup_ && !lookup_->Wait(abort)) return false;
    ApplyOffset();
    const ArLookupResult* result = Lookup();
    burst = binding_.setReadMode != nullptr && result != nullptr && result->status == ArLookupStatus::Found;
    TrackVerification& slot = Slot(track);
    slot = TrackVerification{};
    slot.way = burst ? ReadWay::Burst : ReadWay::Secure;
    if (binding_.setReadMode != nullptr) {
        binding_.setReadMode(binding_.handle, burst ? AKRIP_READ_BURST : AKRIP_READ_SECURE);
    }
    return true;
}

bool RunVerifier::EndPass(int32_t track, bool burst, uint32_t crc32, uint32_t v1, uint32_t v2, uint64_t samples) {
    TrackVerification& slot = Slot(track);
    slot.read = true;
    slot.crc32 = crc32;
    slot.v1 = v1;
    slot.v2 = v2;
    slot.samples = samples;
    const ArLookupResult* result = Lookup();
    if (result == nullptr || result->status == ArLookupStatus::Off || result->status == ArLookupStatus::Failed) {
        slot.ar = {};
    } else if (result->status == ArLookupStatus::NotInDatabase) {
        slot.ar = {ArVerdict::NotInDatabase, false, 0, 0};
    } else {
        slot.ar = MatchTrack(result->submissions, result->disc, track, v1, v2);
    }
    if (!burst || slot.ar.verdict == ArVerdict::Accurate) return true;
    // Not proven: the next read of the track is secure.
    slot.way = ReadWay::BurstThenSecure;
    slot.burstCrc32 = crc32;
    if (binding_.setReadMode != nullptr) binding_.setReadMode(binding_.handle, AKRIP_READ_SECURE);
    return false;
}

void RunVerifier::AbortPass(int32_t track, bool burst, uint64_t samples) {
    TrackVerification& slot = Slot(track);
    slot.aborted = true;
    slot.samples = samples;
    if (burst) slot.way = ReadWay::Burst;
}

}  // namespace cadrix
