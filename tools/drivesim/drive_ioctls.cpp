// The ioctls of a Linux CD-ROM block device, answered as the kernel's cdrom
// and sr drivers answer them for a drive holding the emulated disc.
#include <linux/cdrom.h>
#include <scsi/scsi.h>
#include <scsi/scsi_ioctl.h>
#include <scsi/sg.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "kernel_ioctls.h"

namespace drivesim {

int Fail(int error) {
    errno = error;
    return -1;
}

namespace {

constexpr int kScsiHost = 6;  // what SCSI_IOCTL_GET_IDLUN reports

void SetAddress(cdrom_addr& address, uint8_t format, int32_t lsn) {
    if (format == CDROM_MSF) {
        const int32_t frames = lsn + kMsfOffset;
        address.msf.minute = static_cast<uint8_t>(frames / 4500);
        address.msf.second = static_cast<uint8_t>(frames / 75 % 60);
        address.msf.frame = static_cast<uint8_t>(frames % 75);
    } else {
        address.lba = lsn;
    }
}

int ReadTocEntry(EmulatedDrive& drive, cdrom_tocentry& entry) {
    const akrip::DiscImage* disc = drive.Disc();
    if (!disc) return Fail(ENOMEDIUM);
    if (entry.cdte_format != CDROM_LBA && entry.cdte_format != CDROM_MSF) return Fail(EINVAL);
    const auto& tracks = disc->toc.tracks;
    int32_t start = disc->toc.leadOut;
    uint8_t control = tracks.back().control & 0x04;
    if (entry.cdte_track != CDROM_LEADOUT) {
        if (entry.cdte_track < 1 || entry.cdte_track > tracks.size()) return Fail(EIO);
        start = tracks[entry.cdte_track - 1u].start;
        control = tracks[entry.cdte_track - 1u].control;
    }
    entry.cdte_adr = 1;
    entry.cdte_ctrl = control & 0x0F;
    entry.cdte_datamode = (control & 0x04) ? 1 : 0;
    SetAddress(entry.cdte_addr, entry.cdte_format, start);
    return 0;
}

int DiscStatus(EmulatedDrive& drive) {
    const akrip::DiscImage* disc = drive.Disc();
    if (!disc) return CDS_NO_DISC;
    bool audio = false;
    bool data = false;
    for (const auto& track : disc->toc.tracks) (track.IsAudio() ? audio : data) = true;
    return audio && data ? CDS_MIXED : audio ? CDS_AUDIO : CDS_DATA_1;
}

int ReadAudioIoctl(EmulatedDrive& drive, cdrom_read_audio& request) {
    if (request.nframes < 1 || request.nframes > CD_FRAMES || !request.buf) return Fail(EINVAL);
    int32_t lba = request.addr.lba;
    if (request.addr_format == CDROM_MSF) {
        lba = (request.addr.msf.minute * 60 + request.addr.msf.second) * 75 + request.addr.msf.frame - kMsfOffset;
    } else if (request.addr_format != CDROM_LBA) {
        return Fail(EINVAL);
    }
    Sense sense;
    if (!drive.ReadAudio(lba, static_cast<uint32_t>(request.nframes), request.buf, sense)) {
        return Fail(sense.key == 2 ? ENOMEDIUM : EIO);
    }
    drive.SetPosition(lba + request.nframes - 1);
    return 0;
}

// CDROM_SEND_PACKET: on CHECK CONDITION the kernel copies the sense and
// fails with EIO without writing the command back.
int SendPacket(EmulatedDrive& drive, cdrom_generic_command& generic, bool writable) {
    PacketCommand command;
    command.cdb = std::span<const uint8_t>(generic.cmd, CDROM_PACKET_SIZE);
    command.data = generic.buffer;
    command.length = generic.buflen;
    command.writableOpen = writable;
    drive.Execute(command);
    if (command.sense.key == 0xFF) return Fail(EPERM);  // filtered on a read-only open
    if (!command.sense.Ok()) {
        if (generic.sense) FillSense(command.sense, reinterpret_cast<uint8_t*>(generic.sense), sizeof(request_sense));
        return Fail(EIO);
    }
    generic.stat = 0;
    generic.buflen = static_cast<unsigned>(command.length - std::min(command.length, command.transferred));
    return 0;
}

int Eject(EmulatedDrive& drive, SharedDriveState& state) {
    if (state.doorLocked.load() != 0) return Fail(EBUSY);
    drive.OpenTray();
    drive.Log("tray opened");
    return 0;
}

// The ioctls the kernel answers by sending the drive commands of its own:
// it retries one that meets a UNIT ATTENTION, so the change is not reported
// there but consumed (CDROM_MEDIA_CHANGED keeps its own record).
bool KernelSendsCommands(unsigned long request) {
    switch (request) {
        case CDROMREADTOCHDR:
        case CDROMREADTOCENTRY:
        case CDROM_DRIVE_STATUS:
        case CDROM_DISC_STATUS:
        case CDROM_MEDIA_CHANGED:
        case CDROMREADAUDIO:
        case CDROM_GET_MCN:
        case CDROMSUBCHNL:
        case CDROMVOLREAD:
        case CDROMREADMODE1:
        case CDROMREADMODE2:
        case CDROMREADRAW:
        case CDROMPLAYMSF:
        case CDROMPLAYBLK:
        case CDROMPLAYTRKIND:
        case CDROMSTOP:
        case CDROMSTART:
        case CDROMPAUSE:
        case CDROMRESUME: return true;
        default: return false;
    }
}

int MultiSession(EmulatedDrive& drive, cdrom_multisession& multi) {
    const akrip::DiscImage* disc = drive.Disc();
    if (!disc) return Fail(ENOMEDIUM);
    if (multi.addr_format != CDROM_LBA && multi.addr_format != CDROM_MSF) return Fail(EINVAL);
    const auto sessions = Sessions(*disc);
    const int32_t last = sessions.size() > 1 ? disc->toc.tracks[sessions.back().firstTrack].start : 0;
    SetAddress(multi.addr, multi.addr_format, last);
    multi.xa_flag = last > 0 ? 1 : 0;
    return 0;
}

const char* IoctlName(unsigned long request) {
    switch (request) {
        case CDROMREADTOCHDR: return "CDROMREADTOCHDR";
        case CDROMREADTOCENTRY: return "CDROMREADTOCENTRY";
        case CDROMMULTISESSION: return "CDROMMULTISESSION";
        case CDROM_DRIVE_STATUS: return "CDROM_DRIVE_STATUS";
        case CDROM_DISC_STATUS: return "CDROM_DISC_STATUS";
        case CDROM_GET_CAPABILITY: return "CDROM_GET_CAPABILITY";
        case CDROM_MEDIA_CHANGED: return "CDROM_MEDIA_CHANGED";
        case CDROM_LOCKDOOR: return "CDROM_LOCKDOOR";
        case CDROMEJECT: return "CDROMEJECT";
        case CDROMCLOSETRAY: return "CDROMCLOSETRAY";
        case CDROMREADAUDIO: return "CDROMREADAUDIO";
        case CDROM_GET_MCN: return "CDROM_GET_MCN";
        case CDROM_SELECT_SPEED: return "CDROM_SELECT_SPEED";
        case CDROM_SET_OPTIONS: return "CDROM_SET_OPTIONS";
        case CDROM_CLEAR_OPTIONS: return "CDROM_CLEAR_OPTIONS";
        case CDROMSUBCHNL: return "CDROMSUBCHNL";
        case CDROMVOLREAD: return "CDROMVOLREAD";
        case CDROMREADMODE1: return "CDROMREADMODE1";
        case CDROMREADMODE2: return "CDROMREADMODE2";
        case CDROMREADRAW: return "CDROMREADRAW";
        case CDROMPLAYMSF: return "CDROMPLAYMSF";
        case CDROMPLAYBLK: return "CDROMPLAYBLK";
        case CDROMPLAYTRKIND: return "CDROMPLAYTRKIND";
        case CDROMSTOP: return "CDROMSTOP";
        case CDROMSTART: return "CDROMSTART";
        case CDROMPAUSE: return "CDROMPAUSE";
        case CDROMRESUME: return "CDROMRESUME";
        case CDROM_SEND_PACKET: return "CDROM_SEND_PACKET";
        case SG_IO: return "SG_IO";
        case SG_GET_VERSION_NUM: return "SG_GET_VERSION_NUM";
        case SG_EMULATED_HOST: return "SG_EMULATED_HOST";
        case SG_GET_RESERVED_SIZE: return "SG_GET_RESERVED_SIZE";
        case SG_SET_RESERVED_SIZE: return "SG_SET_RESERVED_SIZE";
        case SG_GET_TIMEOUT: return "SG_GET_TIMEOUT";
        case SG_SET_TIMEOUT: return "SG_SET_TIMEOUT";
        case SCSI_IOCTL_GET_IDLUN: return "SCSI_IOCTL_GET_IDLUN";
        case SCSI_IOCTL_GET_BUS_NUMBER: return "SCSI_IOCTL_GET_BUS_NUMBER";
        case DVD_READ_STRUCT: return "DVD_READ_STRUCT";
        default: return nullptr;
    }
}

// The ioctls the SCSI layer answers: the cdrom layer passes them on.
int ScsiIoctl(EmulatedDrive& drive, unsigned long request, void* argument, bool writable) {
    if (int result = 0; SgIoctl(drive, request, argument, writable, result)) return result;
    switch (request) {
        case CDROM_SEND_PACKET: return SendPacket(drive, *static_cast<cdrom_generic_command*>(argument), writable);
        case SCSI_IOCTL_GET_IDLUN: {
            auto* idlun = static_cast<int*>(argument);
            idlun[0] = kScsiHost << 24;  // target 0, lun 0, channel 0
            idlun[1] = kScsiHost;
            return 0;
        }
        case SCSI_IOCTL_GET_BUS_NUMBER: *static_cast<int*>(argument) = kScsiHost; return 0;
        case SG_GET_SG_TABLESIZE:  // the sg driver's (/dev/sgN), not a block device's
            drive.LogOnce("ioctl SG_GET_SG_TABLESIZE -> ENOTTY, as on a block device");
            return Fail(ENOTTY);
        default: {
            char text[48];
            std::snprintf(text, sizeof text, "unknown ioctl 0x%lx", request);
            drive.Log(text);
            return Fail(ENOTTY);
        }
    }
}

}  // namespace

int EmulatedDrive::Ioctl(unsigned long request, void* argument, bool writableOpen) {
    if (!argument && (request == CDROMREADTOCHDR || request == CDROMREADTOCENTRY || request == CDROMMULTISESSION ||
                      request == CDROMREADAUDIO || request == CDROM_SEND_PACKET || request == SCSI_IOCTL_GET_IDLUN ||
                      request == SCSI_IOCTL_GET_BUS_NUMBER)) {
        return Fail(EFAULT);
    }
    if (const char* name = IoctlName(request)) LogOnce(std::string("ioctl ") + name);
    if (KernelSendsCommands(request)) TakeUnitAttention();
    switch (request) {
        case CDROMREADTOCHDR: {
            const akrip::DiscImage* disc = Disc();
            if (!disc) return Fail(ENOMEDIUM);
            auto* header = static_cast<cdrom_tochdr*>(argument);
            header->cdth_trk0 = 1;
            header->cdth_trk1 = static_cast<uint8_t>(disc->toc.tracks.size());
            return 0;
        }
        case CDROMREADTOCENTRY: return ReadTocEntry(*this, *static_cast<cdrom_tocentry*>(argument));
        case CDROMMULTISESSION: return MultiSession(*this, *static_cast<cdrom_multisession*>(argument));
        case CDROM_DRIVE_STATUS: return HasDisc() ? CDS_DISC_OK : TrayOpen() ? CDS_TRAY_OPEN : CDS_NO_DISC;
        case CDROM_DISC_STATUS: return DiscStatus(*this);
        case CDROM_GET_CAPABILITY:
            return CDC_CLOSE_TRAY | CDC_OPEN_TRAY | CDC_LOCK | CDC_SELECT_SPEED | CDC_MULTI_SESSION | CDC_MCN |
                   CDC_MEDIA_CHANGED | CDC_PLAY_AUDIO | CDC_RESET | CDC_DRIVE_STATUS | CDC_GENERIC_PACKET;
        case CDROM_MEDIA_CHANGED: return TakeMediaChange() ? 1 : 0;
        case CDROM_LOCKDOOR: state_.doorLocked.store(reinterpret_cast<uintptr_t>(argument) != 0 ? 1 : 0); return 0;
        case CDROMEJECT: return Eject(*this, state_);
        case CDROMCLOSETRAY: CloseTray(); return 0;
        case CDROMREADAUDIO: return ReadAudioIoctl(*this, *static_cast<cdrom_read_audio*>(argument));
        case DVD_READ_STRUCT:  // the drive refuses READ DVD STRUCTURE for a CD
            return Fail(EIO);
        case CDROM_SELECT_SPEED:
        case CDROM_SET_OPTIONS:
        case CDROM_CLEAR_OPTIONS: return 0;
        default:
            if (int result = 0; CdromAudioIoctl(*this, request, argument, result)) return result;
            return ScsiIoctl(*this, request, argument, writableOpen);
    }
}

}  // namespace drivesim
