// The cdrom ioctls the kernel answers by sending the drive MMC commands of
// its own (drivers/cdrom/cdrom.c, drivers/scsi/sr_ioctl.c): the media
// catalog number, the Q sub-channel's current position, the audio volume,
// play, pause, stop, and one raw or Mode 1/Mode 2 sector. The commands go
// through the emulated drive like any other (and into --log); the kernel's
// own commands pass its command filter.
#include <linux/cdrom.h>

#include <cerrno>
#include <cstring>
#include <initializer_list>

#include "kernel_ioctls.h"

namespace drivesim {
namespace {

// One command as the kernel sends it; its sense as the sr driver turns it
// into an error: NOT READY is "no medium", anything else an I/O error.
int KernelCommand(EmulatedDrive& drive, std::initializer_list<uint8_t> bytes, uint8_t* buffer, size_t length,
                  size_t* transferred = nullptr) {
    uint8_t cdb[16] = {};
    std::copy(bytes.begin(), bytes.end(), cdb);
    PacketCommand command;
    command.cdb = std::span<const uint8_t>(cdb, sizeof cdb);
    command.data = buffer;
    command.length = length;
    command.writableOpen = true;
    drive.Execute(command);
    if (!command.sense.Ok()) return Fail(command.sense.key == 2 ? ENOMEDIUM : EIO);
    if (transferred) *transferred = command.transferred;
    return 0;
}

uint8_t Byte(uint32_t value, int shift) { return static_cast<uint8_t>(value >> shift); }

int GetMcn(EmulatedDrive& drive, cdrom_mcn& mcn) {
    uint8_t reply[24] = {};
    const int result = KernelCommand(drive, {0x42, 0, 0x40, 0x02, 0, 0, 0, 0, 24}, reply, sizeof reply);
    std::memcpy(mcn.medium_catalog_number, reply + 9, 13);  // whether the drive marked it valid or not
    mcn.medium_catalog_number[13] = 0;
    return result;
}

// The kernel asks in MSF and converts both addresses to LBA when asked,
// the time in the track included (offset by 150 like an address).
int SubChannel(EmulatedDrive& drive, cdrom_subchnl& q) {
    const uint8_t requested = q.cdsc_format;
    if (requested != CDROM_MSF && requested != CDROM_LBA) return Fail(EINVAL);
    uint8_t reply[16] = {};
    if (KernelCommand(drive, {0x42, 0x02, 0x40, 0x01, 0, 0, 0, 0, 16}, reply, sizeof reply) != 0) return -1;
    q.cdsc_audiostatus = reply[1];
    q.cdsc_adr = reply[5] >> 4;
    q.cdsc_ctrl = reply[5] & 0x0F;
    q.cdsc_trk = reply[6];
    q.cdsc_ind = reply[7];
    auto put = [requested](cdrom_addr& address, const uint8_t* msf) {
        if (requested == CDROM_LBA) {
            address.lba = (msf[0] * 60 + msf[1]) * 75 + msf[2] - CD_MSF_OFFSET;
        } else {
            address.msf = {msf[0], msf[1], msf[2]};
        }
    };
    put(q.cdsc_absaddr, &reply[9]);
    put(q.cdsc_reladdr, &reply[13]);
    return 0;
}

// The CD audio control page: the volume of output ports 0 to 3.
int VolumeRead(EmulatedDrive& drive, cdrom_volctrl& volume) {
    uint8_t page[32] = {};
    if (KernelCommand(drive, {0x5A, 0, 0x0E, 0, 0, 0, 0, 0, 24}, page, 24) != 0) return -1;
    const size_t offset = 8 + (size_t{page[6]} << 8 | page[7]);
    if (offset + 16 > sizeof page) return Fail(E2BIG);
    if ((page[offset] & 0x3F) != 0x0E || page[offset + 1] < 14) return Fail(EINVAL);
    volume.channel0 = page[offset + 9];
    volume.channel1 = page[offset + 11];
    volume.channel2 = page[offset + 13];
    volume.channel3 = page[offset + 15];
    return 0;
}

// CDROMPLAYTRKIND plays from the start of one track to the start of the
// track after the other (or the lead-out).
int PlayTracks(EmulatedDrive& drive, const cdrom_ti& ti) {
    const akrip::DiscImage* disc = drive.Disc();
    if (!disc) return Fail(ENOMEDIUM);
    const auto& tracks = disc->toc.tracks;
    if (ti.cdti_trk0 < 1 || ti.cdti_trk0 > tracks.size() || ti.cdti_trk1 < ti.cdti_trk0) return Fail(EIO);
    const int32_t start = tracks[ti.cdti_trk0 - 1u].start + CD_MSF_OFFSET;
    const int32_t end = (ti.cdti_trk1 >= tracks.size() ? disc->toc.leadOut : tracks[ti.cdti_trk1].start) +
                        CD_MSF_OFFSET;
    return KernelCommand(drive,
                         {0x47, 0, 0, Byte(start / 4500, 0), Byte(start / 75 % 60, 0), Byte(start % 75, 0),
                          Byte(end / 4500, 0), Byte(end / 75 % 60, 0), Byte(end % 75, 0)},
                         nullptr, 0);
}

// One sector at an MSF address, by READ CD as the kernel asks for it:
// Mode 1 user data, the 2336 bytes after a Mode 2 header, or all 2352.
int ReadSector(EmulatedDrive& drive, unsigned long request, void* argument) {
    cdrom_msf msf{};
    std::memcpy(&msf, argument, sizeof msf);
    const int32_t lba = (msf.cdmsf_min0 * 60 + msf.cdmsf_sec0) * 75 + msf.cdmsf_frame0 - CD_MSF_OFFSET;
    if (lba < 0) return Fail(EINVAL);
    const size_t bytes = request == CDROMREADMODE1   ? CD_FRAMESIZE
                         : request == CDROMREADMODE2 ? CD_FRAMESIZE_RAW0
                                                     : CD_FRAMESIZE_RAW;
    const uint8_t type = request == CDROMREADMODE1 ? 2 << 2 : 0;
    const uint8_t fields = request == CDROMREADMODE1 ? 0x10 : request == CDROMREADMODE2 ? 0x58 : 0xF8;
    thread_local uint8_t sector[CD_FRAMESIZE_RAW];
    size_t got = 0;
    const auto at = static_cast<uint32_t>(lba);
    if (KernelCommand(drive, {0xBE, type, Byte(at, 24), Byte(at, 16), Byte(at, 8), Byte(at, 0), 0, 0, 1, fields},
                      sector, bytes, &got) != 0) {
        return -1;
    }
    if (got != bytes) return Fail(EIO);
    std::memcpy(argument, sector, bytes);
    return 0;
}

}  // namespace

bool CdromAudioIoctl(EmulatedDrive& drive, unsigned long request, void* argument, int& result) {
    const bool needsArgument = request != CDROMSTOP && request != CDROMSTART && request != CDROMPAUSE &&
                               request != CDROMRESUME;
    switch (request) {
        case CDROM_GET_MCN:
        case CDROMSUBCHNL:
        case CDROMVOLREAD:
        case CDROMPLAYMSF:
        case CDROMPLAYBLK:
        case CDROMPLAYTRKIND:
        case CDROMREADMODE1:
        case CDROMREADMODE2:
        case CDROMREADRAW:
        case CDROMSTOP:
        case CDROMSTART:
        case CDROMPAUSE:
        case CDROMRESUME: break;
        default: return false;
    }
    if (needsArgument && !argument) {
        result = Fail(EFAULT);
        return true;
    }
    if (request == CDROM_GET_MCN) result = GetMcn(drive, *static_cast<cdrom_mcn*>(argument));
    if (request == CDROMSUBCHNL) result = SubChannel(drive, *static_cast<cdrom_subchnl*>(argument));
    if (request == CDROMVOLREAD) result = VolumeRead(drive, *static_cast<cdrom_volctrl*>(argument));
    if (request == CDROMPLAYTRKIND) result = PlayTracks(drive, *static_cast<const cdrom_ti*>(argument));
    if (request == CDROMREADMODE1 || request == CDROMREADMODE2 || request == CDROMREADRAW) {
        result = ReadSector(drive, request, argument);
    }
    if (request == CDROMPLAYMSF) {
        const auto& msf = *static_cast<const cdrom_msf*>(argument);
        result = KernelCommand(drive,
                               {0x47, 0, 0, msf.cdmsf_min0, msf.cdmsf_sec0, msf.cdmsf_frame0, msf.cdmsf_min1,
                                msf.cdmsf_sec1, msf.cdmsf_frame1},
                               nullptr, 0);
    }
    if (request == CDROMPLAYBLK) {
        const auto& block = *static_cast<const cdrom_blk*>(argument);
        result = KernelCommand(drive,
                               {0x45, 0, Byte(block.from, 24), Byte(block.from, 16), Byte(block.from, 8),
                                Byte(block.from, 0), 0, Byte(block.len, 8), Byte(block.len, 0)},
                               nullptr, 0);
    }
    if (request == CDROMSTOP || request == CDROMSTART) {
        result = KernelCommand(drive, {0x1B, 1, 0, 0, static_cast<uint8_t>(request == CDROMSTART)}, nullptr, 0);
    }
    if (request == CDROMPAUSE || request == CDROMRESUME) {
        result = KernelCommand(drive, {0x4B, 0, 0, 0, 0, 0, 0, 0, static_cast<uint8_t>(request == CDROMRESUME)},
                               nullptr, 0);
    }
    return true;
}

}  // namespace drivesim
