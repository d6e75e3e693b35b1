// An emulated CD-ROM drive: what the Linux sr/cdrom driver and an MMC drive
// answer to the ioctls and packet commands that libcdio and paranoia send.
// One object per process; the drive's shared state (disc, media events,
// head position) lives in SharedDriveState, so every process agrees on it.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "cd_geometry.h"
#include "disc_image.h"
#include "drive_options.h"
#include "drive_state.h"

namespace drivesim {

inline constexpr uint32_t kFrameBytes = cadrix::cd::kFrameBytes;
inline constexpr uint32_t kDataBytes = 2048;
inline constexpr int32_t kMsfOffset = cadrix::cd::kLeadInFrames;

// SCSI sense: key, additional sense code and qualifier.
struct Sense {
    uint8_t key = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;
    int64_t information = -1;  // the failing LBA, when there is one
    bool Ok() const { return key == 0; }
};
inline constexpr Sense kNotReady{2, 0x3A, 0, -1};        // medium not present
inline constexpr Sense kMediumError{3, 0x11, 0x05, -1};  // L-EC uncorrectable
inline constexpr Sense kBadOpcode{5, 0x20, 0, -1};
inline constexpr Sense kBadAddress{5, 0x21, 0, -1};  // LBA out of range
inline constexpr Sense kBadField{5, 0x24, 0, -1};    // invalid field in CDB
inline constexpr Sense kWrongMode{5, 0x64, 0, -1};   // illegal mode for this track
inline constexpr Sense kMediumChanged{6, 0x28, 0, -1};

// One packet command as CDROM_SEND_PACKET or SG_IO carry it.
struct PacketCommand {
    std::span<const uint8_t> cdb;
    uint8_t* data = nullptr;  // the transfer buffer
    size_t length = 0;        // its size in bytes
    bool writableOpen = false;
    size_t transferred = 0;  // set by the drive
    Sense sense;             // set by the drive
};

// The tracks of one session, for READ TOC and the ioctls.
struct SessionInfo {
    int number = 1;
    size_t firstTrack = 0;  // index into DiscToc::tracks
    size_t lastTrack = 0;
    int32_t leadOut = 0;  // LSN where the session's lead-out starts
};

class EmulatedDrive {
public:
    EmulatedDrive(SharedDriveState& state, DriveOptions options);

    // An ioctl on an open of the device node; -1 with errno set on failure.
    int Ioctl(unsigned long request, void* argument, bool writableOpen);
    // Runs an MMC command; its sense tells how it ended.
    void Execute(PacketCommand& command);
    // read() on the device: whole 2048-byte data sectors from `offset`.
    long ReadCooked(int64_t offset, uint8_t* out, size_t bytes);
    bool HasDisc();
    // Consumes the media event the ioctl queue has buffered.
    bool TakeMediaChange() { return state_.mediaChanged.exchange(0) != 0; }
    // Consumes the unit attention a disc change left for the next command.
    bool TakeUnitAttention() { return state_.unitAttention.exchange(0) != 0; }
    bool TrayOpen() const { return state_.trayOpen.load() != 0; }
    // The tray opens (the disc leaves) or closes (an empty drive gets the first disc).
    void OpenTray();
    void CloseTray();

    // For the command handlers. The disc may leave or change at any read
    // (another thread or process, or --eject-after-reads): a handler takes
    // the pointer once and works on that disc to its end.
    const akrip::DiscImage* Disc();  // null: no disc
    bool ReadAudio(int64_t lba, uint32_t count, uint8_t* out, Sense& sense);
    bool ReadData(int64_t lba, uint32_t count, uint8_t* out, Sense& sense);
    // Whole 2352-byte data sectors, as the disc carries them.
    bool ReadRaw(int64_t lba, uint32_t count, uint8_t* out, Sense& sense);
    // Where the head is, for the Q sub-channel's current position.
    int64_t Position() const { return state_.position.load(); }
    void SetPosition(int64_t lsn) { state_.position.store(lsn); }
    // A play finishes at once; READ SUB-CHANNEL reports that once.
    void SetPlayCompleted() { state_.playCompleted.store(1); }
    bool TakePlayCompleted() { return state_.playCompleted.exchange(0) != 0; }
    bool DoorLocked() const { return state_.doorLocked.load() != 0; }
    SharedDriveState& State() { return state_; }
    const DriveOptions& Options() const { return options_; }
    void Log(const std::string& line);
    // Logs `line` the first time this process sees it.
    void LogOnce(const std::string& line);

private:
    bool ApplyFaults(int64_t lba, uint32_t count, Sense& sense);
    void WaitForDrive(int64_t lba, uint32_t count, bool failed);
    void CountRead(int64_t lba, uint32_t count);

    SharedDriveState& state_;
    DriveOptions options_;
    std::mutex imagesMutex_;
    std::vector<std::optional<akrip::DiscImage>> images_;
    std::vector<bool> loaded_;
    int logFd_ = -1;
    std::mutex logMutex_;
    std::vector<std::string> logged_;
    static constexpr size_t kCountedLines = 4096;
    std::unordered_map<std::string, uint64_t> lineCounts_;  // how often each line came
};

// The sessions of `disc`, for READ TOC and the ioctls.
std::vector<SessionInfo> Sessions(const akrip::DiscImage& disc);

// MMC command dispatch (mmc_commands.cpp).
void ExecuteMmc(EmulatedDrive& drive, PacketCommand& command);
const char* MmcCommandName(uint8_t opcode);

}  // namespace drivesim
