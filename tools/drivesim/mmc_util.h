// What the MMC command handlers share: big-endian fields, replies cut to
// the allocation length, addresses as LBA or MSF, and the handlers of each
// command group (one file per group).
#pragma once

#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

#include "emulated_drive.h"

namespace drivesim {

inline uint32_t Be(std::span<const uint8_t> bytes, size_t at, size_t count) {
    uint32_t value = 0;
    for (size_t k = 0; k < count; ++k) value = value << 8 | bytes[at + k];
    return value;
}

inline void PutBe(uint8_t* out, uint32_t value, size_t count) {
    for (size_t k = 0; k < count; ++k) out[k] = static_cast<uint8_t>(value >> (8 * (count - 1 - k)));
}

// Copies a reply into the transfer buffer, cut to the allocation length.
inline void Reply(PacketCommand& command, const std::vector<uint8_t>& reply, size_t allocation) {
    const size_t bytes = std::min({reply.size(), allocation, command.length});
    if (bytes > 0 && command.data) std::memcpy(command.data, reply.data(), bytes);
    command.transferred = bytes;
}

// An LSN as a 4-byte LBA, or as 0 M S F.
inline void PutAddress(uint8_t* out, int32_t lsn, bool msf) {
    if (!msf) {
        PutBe(out, static_cast<uint32_t>(lsn), 4);
        return;
    }
    const int32_t frames = lsn + kMsfOffset;
    out[0] = 0;
    out[1] = static_cast<uint8_t>(frames / 4500);
    out[2] = static_cast<uint8_t>(frames / 75 % 60);
    out[3] = static_cast<uint8_t>(frames % 75);
}

inline int64_t MsfToLsn(const uint8_t* msf) { return (int64_t{msf[0]} * 60 + msf[1]) * 75 + msf[2] - kMsfOffset; }

using Handler = void (*)(EmulatedDrive&, PacketCommand&);

// mmc_toc.cpp
void ReadToc(EmulatedDrive& drive, PacketCommand& command);
void ReadDiscInformation(EmulatedDrive& drive, PacketCommand& command);
void ReadCapacity(EmulatedDrive& drive, PacketCommand& command);
// mmc_read.cpp
void ReadCd(EmulatedDrive& drive, PacketCommand& command);
void ReadCdMsf(EmulatedDrive& drive, PacketCommand& command);
void ReadBlocks(EmulatedDrive& drive, PacketCommand& command);
// mmc_mode_pages.cpp
void ModeSense6(EmulatedDrive& drive, PacketCommand& command);
void ModeSense10(EmulatedDrive& drive, PacketCommand& command);
// mmc_audio.cpp
void ReadSubChannel(EmulatedDrive& drive, PacketCommand& command);
void PlayAudio(EmulatedDrive& drive, PacketCommand& command);
void Seek(EmulatedDrive& drive, PacketCommand& command);
void MechanismStatus(EmulatedDrive& drive, PacketCommand& command);

}  // namespace drivesim
