// The ioctl groups of the emulated device node, as the Linux kernel answers
// them: the cdrom layer's own (drive_ioctls.cpp), the ones it answers by
// sending the drive MMC commands (cdrom_audio_ioctls.cpp), and the SCSI
// generic ones of the block layer (sg_interface.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

#include "emulated_drive.h"

namespace drivesim {

// -1 with errno set.
int Fail(int error);

// Fixed-format sense data (18 bytes), cut to `capacity`.
void FillSense(const Sense& sense, uint8_t* out, size_t capacity);

// The SG_* ioctls; false when `request` is none of them.
bool SgIoctl(EmulatedDrive& drive, unsigned long request, void* argument, bool writable, int& result);

// The cdrom ioctls for audio and raw sectors; false when `request` is none of them.
bool CdromAudioIoctl(EmulatedDrive& drive, unsigned long request, void* argument, int& result);

}  // namespace drivesim
