// The SCSI generic ioctls of a Linux block device (the block layer's, not
// the /dev/sgN driver's): SG_IO carrying any MMC command, the reserved
// buffer size, the timeout, the interface version and "emulated host".
#include <scsi/scsi.h>
#include <scsi/sg.h>

#include <cerrno>
#include <cstring>

#include "kernel_ioctls.h"

namespace drivesim {
namespace {

constexpr int kSgVersion = 30527;  // what the block layer reports
// The queue's largest transfer: 256 sectors of 512 bytes, as for ATAPI
// drives. SG_IO refuses longer transfers; the reserved size is capped to it.
constexpr int32_t kMaxTransferBytes = 256 * 512;
constexpr uint8_t kCheckCondition = 0x02;
constexpr uint16_t kDriverSense = 0x08;
constexpr size_t kSenseBytes = 18;

int SgIo(EmulatedDrive& drive, sg_io_hdr& header, bool writable) {
    if (header.interface_id != 'S' || header.iovec_count != 0 || !header.cmdp || header.cmd_len < 6 ||
        header.cmd_len > 16) {
        return Fail(EINVAL);
    }
    if (header.dxfer_len > static_cast<unsigned>(kMaxTransferBytes)) return Fail(EIO);
    if (header.dxfer_len > 0 && header.dxfer_direction != SG_DXFER_TO_DEV &&
        header.dxfer_direction != SG_DXFER_FROM_DEV && header.dxfer_direction != SG_DXFER_TO_FROM_DEV) {
        return Fail(EINVAL);
    }
    uint8_t cdb[16] = {};
    std::memcpy(cdb, header.cmdp, header.cmd_len);
    PacketCommand command;
    command.cdb = std::span<const uint8_t>(cdb, sizeof cdb);
    command.data = static_cast<uint8_t*>(header.dxferp);
    command.length = header.dxferp ? header.dxfer_len : 0;
    command.writableOpen = writable;
    drive.Execute(command);
    if (command.sense.key == 0xFF) return Fail(EPERM);  // the kernel's command filter
    header.host_status = 0;
    header.msg_status = 0;
    header.sb_len_wr = 0;
    header.duration = 0;
    header.resid = static_cast<int>(command.length - std::min(command.length, command.transferred));
    if (command.sense.Ok()) {
        header.status = header.masked_status = 0;
        header.driver_status = 0;
        header.info = 0;
        return 0;
    }
    header.status = kCheckCondition;
    header.masked_status = CHECK_CONDITION;
    header.driver_status = kDriverSense;
    header.info = SG_INFO_CHECK;
    if (header.sbp && header.mx_sb_len > 0) {
        FillSense(command.sense, header.sbp, header.mx_sb_len);
        header.sb_len_wr = static_cast<unsigned char>(std::min<size_t>(header.mx_sb_len, kSenseBytes));
    }
    return 0;
}

int PutInt(void* argument, int value) {
    if (!argument) return Fail(EFAULT);
    std::memcpy(argument, &value, sizeof value);
    return 0;
}

// The reserved size never fails for a size >= 0: the kernel caps it to
// the largest transfer.
int SetReservedSize(SharedDriveState& state, const void* argument) {
    if (!argument) return Fail(EFAULT);
    int size = 0;
    std::memcpy(&size, argument, sizeof size);
    if (size < 0) return Fail(EINVAL);
    state.sgReservedBytes.store(std::min(size, kMaxTransferBytes));
    return 0;
}

int ReservedSize(SharedDriveState& state) {
    const int32_t reserved = state.sgReservedBytes.load();
    return reserved < 0 ? kMaxTransferBytes : reserved;
}

}  // namespace

void FillSense(const Sense& sense, uint8_t* out, size_t capacity) {
    uint8_t bytes[kSenseBytes] = {};
    bytes[0] = sense.information >= 0 ? 0xF0 : 0x70;
    bytes[2] = sense.key;
    for (int k = 0; k < 4 && sense.information >= 0; ++k) {
        bytes[3 + k] = static_cast<uint8_t>(sense.information >> (24 - 8 * k));
    }
    bytes[7] = 10;
    bytes[12] = sense.asc;
    bytes[13] = sense.ascq;
    std::memcpy(out, bytes, std::min(capacity, sizeof bytes));
}

bool SgIoctl(EmulatedDrive& drive, unsigned long request, void* argument, bool writable, int& result) {
    SharedDriveState& state = drive.State();
    switch (request) {
        case SG_IO:
            result = argument ? SgIo(drive, *static_cast<sg_io_hdr*>(argument), writable) : Fail(EFAULT);
            return true;
        case SG_GET_VERSION_NUM: result = PutInt(argument, kSgVersion); return true;
        case SG_EMULATED_HOST: result = PutInt(argument, 1); return true;
        case SG_GET_RESERVED_SIZE: result = PutInt(argument, ReservedSize(state)); return true;
        case SG_SET_RESERVED_SIZE: result = SetReservedSize(state, argument); return true;
        case SG_GET_TIMEOUT:  // the timeout is the ioctl's value
            result = state.sgTimeout.load();
            return true;
        case SG_SET_TIMEOUT: {
            int ticks = 0;
            if (!argument) {
                result = Fail(EFAULT);
                return true;
            }
            std::memcpy(&ticks, argument, sizeof ticks);
            state.sgTimeout.store(ticks);
            result = 0;
            return true;
        }
        default: return false;
    }
}

}  // namespace drivesim
