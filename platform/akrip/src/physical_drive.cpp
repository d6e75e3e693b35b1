#include "physical_drive.h"

#include <cdio/cdio.h>
#include <cdio/mmc.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "cd_text_packs.h"
#include "cdio_guard.h"
#include "image_plan.h"
#include "paranoia_reader.h"

namespace akrip {

std::vector<AudioRange> ReadableAudioRanges(const DiscToc& toc) {
    std::vector<AudioRange> ranges;
    for (size_t k = 0; k < toc.tracks.size(); ++k) {
        if (!toc.tracks[k].IsAudio()) continue;
        const int64_t begin = toc.tracks[k].start;
        int64_t end = toc.leadOut;
        if (k + 1 < toc.tracks.size()) {
            const TocTrack& next = toc.tracks[k + 1];
            end = next.start;
            // Only between sessions lie a lead-out, a lead-in and a pregap.
            if (next.session > toc.tracks[k].session) end = next.start - kSessionGapFrames;
        }
        if (end > begin) ranges.push_back({begin, end});
    }
    return ranges;
}

struct PhysicalDrive::Session {
    CdIo_t* cdio = nullptr;
    std::unique_ptr<ParanoiaReader> reader;

    ~Session() {
        reader.reset();
        if (cdio) {
            const auto lock = LockCdio();
            cdio_destroy(cdio);
        }
    }
};

PhysicalDrive::PhysicalDrive(std::string device, bool cueImage)
    : device_(std::move(device)),
      cueImage_(cueImage),
      shifted_((kMaxReadFrames + 1) * kAudioSectorBytes),
      carry_(kAudioSectorBytes),
      ahead_(kReadAheadBlocks, size_t{kMaxReadFrames} * kAudioSectorBytes, cancelAhead_) {}

PhysicalDrive::~PhysicalDrive() { ahead_.Stop(); }

void PhysicalDrive::DropSession() {
    ahead_.Stop();
    session_.reset();
    toc_ = {};
    ranges_.clear();
    carryLsn_ = -1;
}

namespace {

// The TOC as libcdio reads it, with the session of each track; empty when
// the drive holds no disc or the TOC makes no sense.
// The disc's CD-Text (READ TOC format 5), in the first language the disc
// gives. The packs are read here rather than by libcdio, whose reader puts
// texts shorter than a pack under the wrong track.
void ReadCdText(CdIo_t* cdio, DiscToc& toc) {
    // The largest reply there can be: 8 blocks of 256 packs, and the header.
    std::vector<uint8_t> reply(4 + 8 * 256 * kCdTextPackBytes, 0);
    mmc_cdb_t cdb{};
    cdb.field[0] = 0x43;  // READ TOC/PMA/ATIP
    cdb.field[2] = 5;     // format 5: CD-Text
    cdb.field[7] = static_cast<uint8_t>(reply.size() >> 8);
    cdb.field[8] = static_cast<uint8_t>(reply.size());
    const auto bytes = static_cast<unsigned int>(reply.size());
    if (mmc_run_cmd(cdio, 0, &cdb, SCSI_MMC_DATA_READ, bytes, reply.data()) != DRIVER_OP_SUCCESS) return;
    CdTextBlock block = ParseCdTextReply(reply);
    toc.discText = std::move(block.disc);
    block.tracks.resize(toc.tracks.size());
    toc.trackTexts = std::move(block.tracks);
}

DiscToc ReadDiscToc(CdIo_t* cdio) {
    const track_t first = cdio_get_first_track_num(cdio);
    const track_t last = cdio_get_last_track_num(cdio);
    if (first == CDIO_INVALID_TRACK || last == CDIO_INVALID_TRACK || first > last || last - first + 1 > kMaxTracks) {
        return {};
    }
    lsn_t lastSession = 0;
    if (cdio_get_last_session(cdio, &lastSession) != DRIVER_OP_SUCCESS) lastSession = 0;
    DiscToc toc;
    for (track_t t = first; t <= last; ++t) {
        TocTrack track;
        track.start = cdio_get_track_lsn(cdio, t);
        if (track.start == CDIO_INVALID_LSN) return {};
        if (cdio_get_track_format(cdio, t) != TRACK_FORMAT_AUDIO) track.control |= 0x04;
        if (cdio_get_track_copy_permit(cdio, t) == CDIO_TRACK_FLAG_TRUE) track.control |= 0x02;
        if (cdio_get_track_preemphasis(cdio, t) == CDIO_TRACK_FLAG_TRUE) track.control |= 0x01;
        // libcdio tells where the last session starts; the tracks from there
        // on are that session's.
        track.session = lastSession > 0 && track.start >= lastSession ? 2 : 1;
        toc.tracks.push_back(track);
    }
    toc.leadOut = cdio_get_track_lsn(cdio, CDIO_CDROM_LEADOUT_TRACK);
    if (toc.leadOut == CDIO_INVALID_LSN || toc.leadOut <= toc.tracks.back().start) return {};
    ReadCdText(cdio, toc);
    return toc;
}

}  // namespace

DiscToc PhysicalDrive::ReadToc() {
    // A read in progress keeps the disc it reads: the read finds a change.
    if (ahead_.Reading()) return toc_;
    ahead_.Stop();
    // libcdio caches the TOC of an open device: open it again for a new disc.
    if (session_ && !toc_.Empty() && cdio_get_media_changed(session_->cdio) == 0) return toc_;
    DropSession();
    NewDisc();
    CdIo_t* cdio = nullptr;
    {
        const auto lock = LockCdio();
        cdio = cdio_open(device_.c_str(), cueImage_ ? DRIVER_BINCUE : DRIVER_LINUX);
        if (!cdio) return toc_;
        // The kernel reports a disc put in before this open as a change once;
        // this TOC describes that disc, so the event is taken here and only
        // a later change fails the reads.
        cdio_get_media_changed(cdio);
        session_ = std::make_unique<Session>();
        session_->cdio = cdio;
        toc_ = ReadDiscToc(cdio);
    }
    ranges_ = ReadableAudioRanges(toc_);
    return toc_;
}

bool PhysicalDrive::Readable(int64_t lsn) const {
    return std::any_of(ranges_.begin(), ranges_.end(), [lsn](const AudioRange& r) { return lsn >= r.begin && lsn < r.end; });
}

// One plain read a block, as fast as the drive goes; what it returns is
// verified by the caller's checksums, not here.
bool PhysicalDrive::ReadBurst(int64_t lsn, uint32_t count, uint8_t* out) {
    if (abort_.load() || cancelAhead_.load()) return false;
    return cdio_read_audio_sectors(session_->cdio, out, static_cast<lsn_t>(lsn), count) == DRIVER_OP_SUCCESS;
}

bool PhysicalDrive::ReadSectors(int64_t lsn, uint32_t count, uint8_t* out, ReadStats& stats) {
    if (burst_) return ReadBurst(lsn, count, out);
    if (!session_->reader) {
        const int64_t audioEnd = ranges_.empty() ? 0 : ranges_.back().end;
        session_->reader = std::make_unique<ParanoiaReader>(session_->cdio, audioEnd, testFlags_);
    }
    return session_->reader->Valid() && session_->reader->Read(lsn, count, out, abort_, cancelAhead_, stats);
}

bool PhysicalDrive::ReadBlock(int64_t lsn, uint32_t count, uint8_t* out, ReadStats& stats) {
    return offsetSamples_ == 0 ? ReadSectors(lsn, count, out, stats) : ReadShifted(lsn, count, out, stats);
}

uint32_t PhysicalDrive::BlockAt(int64_t lsn, uint32_t wanted) const {
    auto range = std::find_if(ranges_.begin(), ranges_.end(),
                              [lsn](const AudioRange& r) { return lsn >= r.begin && lsn < r.end; });
    return range == ranges_.end() ? 0 : static_cast<uint32_t>(std::min<int64_t>(wanted, range->end - lsn));
}

void PhysicalDrive::StartReadAhead(int64_t lsn, uint32_t count) {
    if (abort_.load() || BlockAt(lsn, count) == 0) return;
    ahead_.Start(
        lsn, count,
        [this](int64_t at, uint32_t frames, uint8_t* out, ReadStats& stats) { return ReadBlock(at, frames, out, stats); },
        [this](int64_t at, uint32_t wanted) { return abort_.load() ? 0u : BlockAt(at, wanted); });
}

// Reads what an offset-0 drive reads at [lsn, lsn + count): the drive's
// audio comes `offsetSamples_` early, so its sectors are read that much later
// and cut at the sample. Samples outside the readable audio are silence.
bool PhysicalDrive::ReadShifted(int64_t lsn, uint32_t count, uint8_t* out, ReadStats& stats) {
    const int64_t firstByte = lsn * kAudioSectorBytes + int64_t{offsetSamples_} * 4;
    const int64_t sector = kAudioSectorBytes;
    const int64_t first = firstByte >= 0 ? firstByte / sector : -((-firstByte + sector - 1) / sector);
    const int64_t skip = firstByte - first * sector;
    const int64_t end = first + count + (skip > 0 ? 1 : 0);
    for (int64_t p = first; p < end;) {
        uint8_t* target = shifted_.data() + (p - first) * sector;
        int64_t run = 1;
        if (p == carryLsn_) {  // kept from the last request: no re-read, no seek
            std::memcpy(target, carry_.data(), kAudioSectorBytes);
        } else if (!Readable(p)) {
            std::memset(target, 0, kAudioSectorBytes);
        } else {
            while (p + run < end && p + run != carryLsn_ && Readable(p + run)) ++run;
            if (!ReadSectors(p, static_cast<uint32_t>(run), target, stats)) {
                carryLsn_ = -1;
                return false;
            }
        }
        p += run;
    }
    std::memcpy(out, shifted_.data() + skip, size_t{count} * kAudioSectorBytes);
    carryLsn_ = skip > 0 ? end - 1 : -1;
    if (skip > 0) std::memcpy(carry_.data(), shifted_.data() + (end - 1 - first) * sector, kAudioSectorBytes);
    return true;
}

uint32_t PhysicalDrive::ReadAudio(int64_t lsn, uint32_t frames, uint8_t* out) {
    if (!session_ || abort_.load()) {
        ahead_.Stop();
        return 0;
    }
    if (cdio_get_media_changed(session_->cdio) > 0) {
        // Another disc: the ranges no longer hold, and paranoia hangs past
        // the end of a disc. Nothing is read until the next TOC read.
        DropSession();
        NewDisc();
        return 0;
    }
    auto range = std::find_if(ranges_.begin(), ranges_.end(),
                              [lsn](const AudioRange& r) { return lsn >= r.begin && lsn < r.end; });
    if (range == ranges_.end()) return 0;
    // Paranoia hangs when asked for sectors past the audio: clamp first.
    const auto count = static_cast<uint32_t>(std::min<int64_t>({frames, range->end - lsn, int64_t{kMaxReadFrames}}));
    const ReadAheadStream::Taken taken = ahead_.Take(lsn, count, out, stats_);
    bool ok = taken == ReadAheadStream::Taken::Read;
    if (taken == ReadAheadStream::Taken::NotAhead) {
        ok = ReadBlock(lsn, count, out, stats_);
        if (ok) StartReadAhead(lsn + count, count);
    }
    return ok ? count : 0;
}

void PhysicalDrive::SetReadOffset(int32_t samples) {
    ahead_.Stop();
    offsetSamples_ = samples;
    carryLsn_ = -1;
}

void PhysicalDrive::SetBurst(bool burst) {
    ahead_.Stop();
    burst_ = burst;
    carryLsn_ = -1;
}

DriveIdentity PhysicalDrive::Identity() {
    if (identity_) return *identity_;
    DriveIdentity identity;
    const auto lock = LockCdio();
    CdIo_t* cdio = cdio_open(device_.c_str(), cueImage_ ? DRIVER_BINCUE : DRIVER_LINUX);
    if (!cdio) return identity;
    cdio_hwinfo_t info{};
    if (cdio_get_hwinfo(cdio, &info)) {
        auto text = [](const char* field, size_t size) {
            std::string value(field, strnlen(field, size));
            while (!value.empty() && value.back() == ' ') value.pop_back();
            return value;
        };
        identity = {text(info.psz_vendor, sizeof info.psz_vendor), text(info.psz_model, sizeof info.psz_model),
                    text(info.psz_revision, sizeof info.psz_revision), false, true};
        identity_ = identity;
    }
    cdio_destroy(cdio);
    return identity;
}

ReadStats PhysicalDrive::TakeStats() {
    // Blocks read ahead bring their counts along when they are taken.
    ReadStats taken = std::move(stats_);
    stats_ = {};
    return taken;
}

}  // namespace akrip
