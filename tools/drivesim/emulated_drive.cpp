#include "emulated_drive.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "cd_geometry.h"
#include "image_reader.h"
#include "virtual_drive.h"

namespace drivesim {
namespace {

constexpr int64_t kSamplesPerFrame = cadrix::cd::kSamplesPerFrame;
constexpr int64_t kSampleBytes = 4;
constexpr int64_t kReadAheadFrames = 600;  // how far the drive reads on by itself
constexpr int64_t kCacheFrames = 1200;     // what its buffer keeps behind the head
constexpr int64_t kSessionGap = cadrix::cd::kSessionGapFrames;

int64_t NowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

// Where a read in a --jitter range really starts: up to 8 samples early or
// late, varying from read to read.
int64_t JitterSamples(uint64_t readNumber) {
    return static_cast<int64_t>(((readNumber + 1) * 2654435761u >> 7) % 17) - 8;
}

}  // namespace

EmulatedDrive::EmulatedDrive(SharedDriveState& state, DriveOptions options)
    : state_(state), options_(std::move(options)), images_(options_.images.size()), loaded_(options_.images.size()) {
    if (!options_.log.empty()) logFd_ = ::open(options_.log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

// A line written before (a program retrying the same reads of a bad sector
// or an empty drive thousands of times a second) is written again only at
// its 2nd, 4th, 8th... time, with that count, so the log stays small
// however long a program retries.
void EmulatedDrive::Log(const std::string& line) {
    if (logFd_ < 0) return;
    std::string text = std::to_string(::getpid()) + " " + line;
    {
        std::lock_guard lock(logMutex_);
        auto seen = lineCounts_.find(line);
        if (seen == lineCounts_.end() && lineCounts_.size() < kCountedLines) seen = lineCounts_.emplace(line, 0).first;
        if (seen != lineCounts_.end()) {
            const uint64_t times = ++seen->second;
            if ((times & (times - 1)) != 0) return;
            if (times > 1) text += " (" + std::to_string(times) + " times)";
        }
    }
    text += "\n";
    [[maybe_unused]] ssize_t ignored = ::write(logFd_, text.data(), text.size());
}

void EmulatedDrive::LogOnce(const std::string& line) {
    if (logFd_ < 0) return;
    {
        std::lock_guard lock(logMutex_);
        if (std::find(logged_.begin(), logged_.end(), line) != logged_.end()) return;
        logged_.push_back(line);
    }
    Log(line);
}

void EmulatedDrive::Execute(PacketCommand& command) {
    char opcode[8];
    std::snprintf(opcode, sizeof opcode, "%02X", command.cdb[0]);
    ExecuteMmc(*this, command);
    const std::string name = std::string("mmc ") + opcode + " " + MmcCommandName(command.cdb[0]);
    if (command.sense.Ok()) {
        LogOnce(name);
    } else if (command.sense.key != 3) {  // medium errors are logged where they happen
        // The whole CDB of a refused command: 6, 10 or 12 bytes by its group.
        const uint8_t group = command.cdb[0] >> 5;
        const size_t bytes = std::min<size_t>(command.cdb.size(), group == 0 ? 6 : group == 5 ? 12 : 10);
        std::string text = " [";
        for (size_t k = 0; k < bytes; ++k) {
            char hex[4];
            std::snprintf(hex, sizeof hex, k == 0 ? "%02X" : " %02X", command.cdb[k]);
            text += hex;
        }
        char sense[32];
        std::snprintf(sense, sizeof sense, "] -> sense %X/%02X/%02X", command.sense.key, command.sense.asc,
                      command.sense.ascq);
        Log(name + text + sense);
    }
}

const akrip::DiscImage* EmulatedDrive::Disc() {
    const int32_t disc = state_.disc.load();
    if (disc < 0 || static_cast<size_t>(disc) >= images_.size()) return nullptr;
    std::lock_guard lock(imagesMutex_);
    const auto index = static_cast<size_t>(disc);
    if (!loaded_[index]) {
        images_[index] = akrip::LoadDiscImage(options_.images[index]);
        loaded_[index] = true;
        if (!images_[index]) Log("cannot load image " + options_.images[index]);
    }
    return images_[index] ? &*images_[index] : nullptr;
}

bool EmulatedDrive::HasDisc() { return Disc() != nullptr; }

void EmulatedDrive::OpenTray() {
    state_.trayOpen.store(1);
    state_.unitAttention.store(0);  // an empty drive reports only that it is empty
    if (state_.disc.exchange(-1) >= 0) state_.mediaChanged.store(1);
}

// Closing the tray of an empty drive puts the first disc in, as a user who
// laid it in the open tray would (`eject -t` after --no-disc or an eject).
void EmulatedDrive::CloseTray() {
    state_.trayOpen.store(0);
    if (options_.images.empty()) return;
    int32_t empty = -1;
    if (state_.disc.compare_exchange_strong(empty, 0)) {
        state_.mediaChanged.store(1);
        state_.unitAttention.store(1);
    }
}

std::vector<SessionInfo> Sessions(const akrip::DiscImage& disc) {
    std::vector<SessionInfo> sessions;
    const auto& tracks = disc.toc.tracks;
    for (size_t k = 0; k < tracks.size(); ++k) {
        if (sessions.empty() || sessions.back().number != tracks[k].session) {
            if (!sessions.empty()) sessions.back().leadOut = tracks[k].start - static_cast<int32_t>(kSessionGap);
            sessions.push_back({tracks[k].session, k, k, 0});
        }
        sessions.back().lastTrack = k;
    }
    if (!sessions.empty()) sessions.back().leadOut = disc.toc.leadOut;
    return sessions;
}

namespace {

// Whether [lba, lba + count) of `disc` reads as audio (or as data): NOT
// READY without a disc, LBA out of range past the lead-out, the wrong mode
// for sectors of the other kind.
bool CheckReadable(const akrip::DiscImage* disc, int64_t lba, uint32_t count, bool audio, Sense& sense) {
    if (!disc) {
        sense = kNotReady;
        return false;
    }
    if (lba < 0 || count == 0 || lba + count > disc->toc.leadOut) {
        sense = kBadAddress;
        sense.information = lba;
        return false;
    }
    for (int64_t sector = lba; sector < lba + count; ++sector) {
        const bool isAudio = akrip::ReadableImageFrames(*disc, sector, 1) == 1;
        if (isAudio != audio) {
            sense = kWrongMode;
            sense.information = sector;
            return false;
        }
        if (audio) {  // the rest of a run of audio needs no test sector by sector
            sector += akrip::ReadableImageFrames(*disc, sector, static_cast<uint32_t>(lba + count - sector)) - 1;
        }
    }
    return true;
}

// `count` frames of the audio of `disc` from sample `firstSample` on: what a
// drive whose reads land that many samples off returns.
void CopyShiftedAudio(const akrip::DiscImage& disc, int64_t firstSample, uint32_t count, uint8_t* out) {
    thread_local std::vector<uint8_t> frames;
    const int64_t firstFrame = firstSample >= 0 ? firstSample / kSamplesPerFrame
                                                : -((-firstSample + kSamplesPerFrame - 1) / kSamplesPerFrame);
    const int64_t skip = (firstSample - firstFrame * kSamplesPerFrame) * kSampleBytes;
    const uint32_t span = count + 1;
    frames.assign(size_t{span} * kFrameBytes, 0);
    for (int64_t f = firstFrame; f < firstFrame + span;) {
        const uint32_t readable = f < 0 ? 0
                                        : akrip::ReadableImageFrames(disc, f,
                                                                     static_cast<uint32_t>(firstFrame + span - f));
        if (readable == 0) {  // before the disc, past it or not audio: silence
            ++f;
            continue;
        }
        if (!akrip::ReadImageAudio(disc, f, readable, frames.data() + (f - firstFrame) * kFrameBytes)) return;
        f += readable;
    }
    std::memcpy(out, frames.data() + skip, size_t{count} * kFrameBytes);
}

}  // namespace

// How long the read [lba, end) waits for the drive: nothing when its buffer
// holds the sectors, the rest of the stream when the head is on its way
// there, a seek and the transfer otherwise. The drive reads on by itself up
// to kReadAheadFrames past the last request, as drives fill their buffer.
static int64_t DriveWaitNs(SharedDriveState& state, int64_t lba, int64_t end, int64_t frameNs, int64_t seekNs) {
    const int64_t now = NowNs();
    int64_t reachable = -1;
    if (state.headLba >= 0) {
        const int64_t limit = state.hostEnd + kReadAheadFrames;
        reachable = state.headLba >= limit
                        ? state.headLba
                        : std::min(limit, state.headLba + std::max<int64_t>(0, now - state.headTimeNs) / frameNs);
    }
    int64_t waitNs = 0;
    if (reachable >= 0 && lba >= state.cacheStart && end <= reachable) {
        state.headLba = reachable;
        state.headTimeNs = now;
    } else if (reachable >= 0 && lba >= state.cacheStart && lba <= reachable) {
        waitNs = (end - reachable) * frameNs;
        state.headLba = end;
        state.headTimeNs = now + waitNs;
    } else {
        waitNs = seekNs + (end - lba) * frameNs;
        state.cacheStart = lba;
        state.headLba = end;
        state.headTimeNs = now + waitNs;
    }
    state.hostEnd = end;
    state.cacheStart = std::max(state.cacheStart, state.headLba - kCacheFrames);
    return waitNs;
}

void EmulatedDrive::WaitForDrive(int64_t lba, uint32_t count, bool failed) {
    int64_t waitNs = 0;
    {
        StateLock lock(state_);
        state_.framesRead += count;
        if (options_.speed > 0) {
            const auto frameNs = static_cast<int64_t>(1e9 / (75.0 * options_.speed));
            waitNs = DriveWaitNs(state_, lba, lba + count, frameNs, int64_t{options_.seekMs} * 1000000);
            if (failed) state_.headLba = -1;  // a drive that gave up seeks again
            state_.busyNs += static_cast<uint64_t>(waitNs);
        }
    }
    if (waitNs > 0) {
        timespec wait{static_cast<time_t>(waitNs / 1000000000), static_cast<long>(waitNs % 1000000000)};
        while (clock_nanosleep(CLOCK_MONOTONIC, 0, &wait, &wait) == EINTR) {}
    }
}

void EmulatedDrive::CountRead(int64_t lba, uint32_t count) {
    const auto reads = static_cast<int64_t>(state_.reads.fetch_add(1) + 1);
    const std::string which = std::to_string(reads) + " reads, the last of " + std::to_string(lba) + "+" +
                              std::to_string(count);
    if (reads == options_.changeAfterReads && !options_.images.empty()) {
        const int32_t current = state_.disc.load();
        const int32_t next = options_.images.size() > 1
                                 ? static_cast<int32_t>((current + 1) % static_cast<int32_t>(options_.images.size()))
                                 : 0;
        state_.trayOpen.store(0);
        state_.disc.store(next);
        state_.mediaChanged.store(1);
        state_.unitAttention.store(1);
        Log("disc changed after " + which);
    }
    if (reads == options_.ejectAfterReads) {
        OpenTray();
        Log("disc ejected after " + which);
    }
}

bool EmulatedDrive::ApplyFaults(int64_t lba, uint32_t count, Sense& sense) {
    for (size_t k = 0; k < options_.bad.size() && k < kMaxBadRanges; ++k) {
        const SectorRange& range = options_.bad[k];
        if (!range.Touches(lba, count)) continue;
        if (range.failures != 0 && state_.badFailures[k].fetch_add(1) >= range.failures) continue;
        sense = kMediumError;
        sense.information = std::max(lba, range.first);
        return false;
    }
    return true;
}

// The read that reaches --eject-after-reads or --change-after-reads is
// still served from the disc it started on; the next one finds the drive
// empty or holding the new disc.
bool EmulatedDrive::ReadAudio(int64_t lba, uint32_t count, uint8_t* out, Sense& sense) {
    const akrip::DiscImage* disc = Disc();
    if (!CheckReadable(disc, lba, count, true, sense)) return false;
    const bool ok = ApplyFaults(lba, count, sense);
    WaitForDrive(lba, count, !ok);
    const uint64_t readNumber = state_.reads.load();
    CountRead(lba, count);
    if (!ok) {
        Log("read " + std::to_string(lba) + "+" + std::to_string(count) + ": MEDIUM ERROR at " +
            std::to_string(sense.information));
        return false;
    }
    int64_t shift = -int64_t{options_.readOffset};
    for (const SectorRange& range : options_.jitter) {
        if (lba >= range.first && lba <= range.last) shift += JitterSamples(readNumber);
    }
    if (shift != 0) {
        CopyShiftedAudio(*disc, lba * kSamplesPerFrame + shift, count, out);
    } else if (!akrip::ReadImageAudio(*disc, lba, count, out)) {
        sense = kMediumError;
        return false;
    }
    return true;
}

bool EmulatedDrive::ReadData(int64_t lba, uint32_t count, uint8_t* out, Sense& sense) {
    const akrip::DiscImage* disc = Disc();
    if (!CheckReadable(disc, lba, count, false, sense)) return false;
    const bool ok = ApplyFaults(lba, count, sense);
    WaitForDrive(lba, count, !ok);
    CountRead(lba, count);
    for (uint32_t k = 0; ok && k < count; ++k) {
        if (!akrip::ReadImageDataSector(*disc, lba + k, out + size_t{k} * kDataBytes)) {
            sense = kMediumError;
            return false;
        }
    }
    return ok;
}

bool EmulatedDrive::ReadRaw(int64_t lba, uint32_t count, uint8_t* out, Sense& sense) {
    const akrip::DiscImage* disc = Disc();
    if (!CheckReadable(disc, lba, count, false, sense)) return false;
    const bool ok = ApplyFaults(lba, count, sense);
    WaitForDrive(lba, count, !ok);
    CountRead(lba, count);
    for (uint32_t k = 0; ok && k < count; ++k) {
        if (!akrip::ReadImageRawSector(*disc, lba + k, out + size_t{k} * kFrameBytes)) {
            sense = kMediumError;
            sense.information = lba + k;
            return false;
        }
    }
    return ok;
}

long EmulatedDrive::ReadCooked(int64_t offset, uint8_t* out, size_t bytes) {
    if (offset % kDataBytes != 0 || bytes % kDataBytes != 0) {
        errno = EINVAL;
        return -1;
    }
    Sense sense;
    const auto count = static_cast<uint32_t>(std::min<size_t>(bytes / kDataBytes, 32));
    if (count == 0) return 0;
    if (TakeUnitAttention()) {  // the block layer refuses a changed disc once
        errno = EIO;
        return -1;
    }
    if (!ReadData(offset / kDataBytes, count, out, sense)) {
        errno = sense.key == 2 ? ENOMEDIUM : EIO;
        return -1;
    }
    return static_cast<long>(size_t{count} * kDataBytes);
}

}  // namespace drivesim
