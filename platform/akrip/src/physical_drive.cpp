#include "physical_drive.h"

#include <cdio/cdio.h>
#include <cdio/mmc.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <vector>

#include "cd_text_packs.h"
#include "cdio_guard.h"
#include "image_plan.h"
#include "mmc_sense.h"
#include "paranoia_reader.h"
#include "subchannel_search.h"

namespace akrip {

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
      ahead_(kReadAheadSectors, kMaxReadFrames, cancelAhead_) {}

PhysicalDrive::~PhysicalDrive() { ahead_.Stop(); }

void PhysicalDrive::DropSession() {
    ahead_.Stop();
    session_.reset();
    toc_ = {};
    ranges_.clear();
    pregapsFound_ = false;
    layout_.reset();
    burstGone_ = false;
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

bool PhysicalDrive::Readable(int64_t lsn) const { return RangeHolding(ranges_, lsn).has_value(); }

// A READ CD of one CD-DA sector: false only when the drive says the sector
// is of another mode (05/64/00), i.e. a data track's.
bool PhysicalDrive::IsAudioSector(int64_t lsn) {
    std::vector<uint8_t> sector(kAudioSectorBytes);
    return cdio_read_audio_sectors(session_->cdio, sector.data(), static_cast<lsn_t>(lsn), 1) == DRIVER_OP_SUCCESS ||
           !SenseSaysOtherMode(session_->cdio);
}

// A data track after audio in the same session has a pregap of at least two
// seconds; a longer one is found by asking the drive where its sectors stop
// being audio (a binary search: a few reads, once a disc).
void PhysicalDrive::FindDataPregaps() {
    if (pregapsFound_ || !session_ || cueImage_) return;
    pregapsFound_ = true;
    for (size_t k = 0; k + 1 < toc_.tracks.size(); ++k) {
        TocTrack& next = toc_.tracks[k + 1];
        if (!toc_.tracks[k].IsAudio() || next.IsAudio() || next.session != toc_.tracks[k].session) continue;
        int64_t audio = toc_.tracks[k].start;           // the last sector known to be audio
        int64_t data = next.start - kDataPregapFrames;  // the first known not to be
        if (data <= audio || IsAudioSector(data - 1)) {
            next.index0 = static_cast<int32_t>(std::max<int64_t>(data, audio + 1));
            continue;
        }
        --data;
        while (data - audio > 1 && !abort_.load()) {
            const int64_t middle = audio + (data - audio) / 2;
            (IsAudioSector(middle) ? audio : data) = middle;
        }
        next.index0 = static_cast<int32_t>(data);
    }
    ranges_ = ReadableAudioRanges(toc_);
}

std::optional<AudioRange> PhysicalDrive::TrackRange(int track) {
    if (!pregapsFound_) {
        ahead_.Stop();  // the search reads the drive
        FindDataPregaps();
    }
    for (const AudioRange& range : ranges_) {
        if (range.track == track) return range;
    }
    return std::nullopt;
}

bool PhysicalDrive::DiscWentAway() const {
    return burstGone_ || (session_ && session_->reader && session_->reader->DiscGone());
}

// One plain read a block, as fast as the drive goes; what it returns is
// verified by the caller's checksums, not here.
bool PhysicalDrive::ReadBurst(int64_t lsn, uint32_t count, uint8_t* out, ReadStats& stats) {
    if (abort_.load() || cancelAhead_.load()) return false;
    if (cdio_read_audio_sectors(session_->cdio, out, static_cast<lsn_t>(lsn), count) == DRIVER_OP_SUCCESS) return true;
    if (SenseSaysDiscGone(session_->cdio)) {
        stats.Fail(ReadFailure::DiscGone);
        burstGone_ = true;
    } else if (!abort_.load() && !cancelAhead_.load()) {
        stats.Fail(ReadFailure::Unreadable);
    }
    return false;
}

bool PhysicalDrive::ReadSectors(int64_t lsn, uint32_t count, int64_t fence, uint8_t* out, ReadStats& stats) {
    if (burst_) return ReadBurst(lsn, count, out, stats);
    if (!session_->reader) {
        session_->reader = std::make_unique<ParanoiaReader>(session_->cdio, ranges_, testFlags_, !cueImage_);
    }
    return session_->reader->Valid() && session_->reader->Read(lsn, count, fence, out, abort_, cancelAhead_, stats);
}

int64_t PhysicalDrive::FenceFor(int64_t lsn) const {
    const auto range = RangeHolding(ranges_, lsn);
    const int64_t end = range ? range->end : lsn + kMaxReadFrames;
    // The drive's audio comes offsetSamples_ early: the track's last sample
    // lies that much further on.
    const int64_t bytes = end * kAudioSectorBytes + int64_t{offsetSamples_} * 4;
    const int64_t sector = kAudioSectorBytes;
    return bytes >= 0 ? (bytes + sector - 1) / sector : -(-bytes / sector);
}

bool PhysicalDrive::ReadBlock(int64_t lsn, uint32_t count, uint8_t* out, ReadStats& stats) {
    const int64_t fence = FenceFor(lsn);
    return offsetSamples_ == 0 ? ReadSectors(lsn, count, fence, out, stats)
                               : ReadShifted(lsn, count, fence, out, stats);
}

uint32_t PhysicalDrive::BlockAt(int64_t lsn, uint32_t wanted) const {
    const auto range = RangeHolding(ranges_, lsn);
    return range ? static_cast<uint32_t>(std::min<int64_t>(wanted, range->end - lsn)) : 0;
}

void PhysicalDrive::StartReadAhead(int64_t lsn) {
    const auto range = RangeHolding(ranges_, lsn);
    if (abort_.load() || !range) return;
    // On through the tracks the caller said it reads, else to the track's end.
    const int64_t end = readAheadEnd_ > lsn ? readAheadEnd_ : range->end;
    ahead_.Start(
        lsn, end,
        [this](int64_t at, uint32_t frames, uint8_t* out, ReadStats& stats) {
            return ReadBlock(at, frames, out, stats);
        },
        [this](int64_t at, uint32_t wanted) { return abort_.load() ? 0u : BlockAt(at, wanted); });
}

// Reads what an offset-0 drive reads at [lsn, lsn + count): the drive's
// audio comes `offsetSamples_` early, so its sectors are read that much later
// and cut at the sample. Samples outside the readable audio are silence.
bool PhysicalDrive::ReadShifted(int64_t lsn, uint32_t count, int64_t fence, uint8_t* out, ReadStats& stats) {
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
            if (!ReadSectors(p, static_cast<uint32_t>(run), fence, target, stats)) {
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
        stats_.Fail(ReadFailure::DiscGone);
        return 0;
    }
    FindDataPregaps();
    const auto range = RangeHolding(ranges_, lsn);
    if (!range) return 0;
    // Paranoia hangs when asked for sectors past the audio: clamp first.
    const auto count = static_cast<uint32_t>(std::min<int64_t>({frames, range->end - lsn, int64_t{kMaxReadFrames}}));
    const ReadAheadStream::Taken taken = ahead_.Take(lsn, count, out, stats_);
    bool ok = taken == ReadAheadStream::Taken::Read;
    if (taken == ReadAheadStream::Taken::NotAhead) {
        ok = ReadBlock(lsn, count, out, stats_);
        if (ok) StartReadAhead(lsn + count);
    }
    if (!ok && DiscWentAway()) {
        DropSession();
        NewDisc();
    }
    return ok ? count : 0;
}

void PhysicalDrive::SetReadOffset(int32_t samples) {
    if (samples == offsetSamples_) return;
    ahead_.Stop();
    offsetSamples_ = samples;
    carryLsn_ = -1;
}

void PhysicalDrive::SetBurst(bool burst) {
    if (burst == burst_) return;
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

namespace {

// A code from libcdio (READ SUB-CHANNEL, CDROM_GET_MCN), freed here.
std::string TakeCode(char* code) {
    std::string text = code ? code : "";
    if (code) cdio_free(code);
    return text;
}

// READ CD of one sector with its formatted Q: the sector as the disc holds
// it (any type, sync to EDC: 2352 bytes), then the 16 bytes of Q.
bool ReadFormattedQ(CdIo_t* cdio, int64_t lsn, std::span<uint8_t, 16> q) {
    std::array<uint8_t, kAudioSectorBytes + 16> reply{};
    mmc_cdb_t cdb{};
    cdb.field[0] = 0xBE;  // READ CD
    for (int k = 0; k < 4; ++k) cdb.field[2 + k] = static_cast<uint8_t>(lsn >> (24 - 8 * k));
    cdb.field[8] = 1;
    cdb.field[9] = 0xF8;
    cdb.field[10] = 0x02;  // formatted Q
    const auto bytes = static_cast<unsigned int>(reply.size());
    if (mmc_run_cmd(cdio, 0, &cdb, SCSI_MMC_DATA_READ, bytes, reply.data()) != DRIVER_OP_SUCCESS) return false;
    std::copy(reply.end() - 16, reply.end(), q.begin());
    return true;
}

}  // namespace

DiscLayout PhysicalDrive::Layout() {
    if (layout_) return *layout_;
    if (!session_ || toc_.Empty()) return {};
    ahead_.Stop();  // the search reads the drive
    DiscLayout layout{toc_, LayoutSource::Toc};
    CdIo_t* cdio = session_->cdio;
    if (auto mcn = ParseMcn(TakeCode(cdio_get_mcn(cdio)))) layout.toc.mcn = *mcn;
    for (size_t k = 0; k < layout.toc.tracks.size(); ++k) {
        TocTrack& track = layout.toc.tracks[k];
        if (!track.IsAudio()) continue;
        const auto number = static_cast<track_t>(k + 1);
        if (auto isrc = ParseIsrc(TakeCode(cdio_get_track_isrc(cdio, number)))) track.isrc = *isrc;
    }
    if (!cueImage_) {
        const auto read = [cdio](int64_t lsn, std::span<uint8_t, 16> q) { return ReadFormattedQ(cdio, lsn, q); };
        if (FindIndexPoints(layout.toc, read, [this] { return abort_.load(); }))
            layout.source = LayoutSource::SubChannel;
    }
    if (abort_.load()) return layout;  // a stopped search is not kept
    layout_ = layout;
    return layout;
}

}  // namespace akrip
