// The Q sub-channel of the emulated disc, computed from its TOC as a pressed
// disc carries it: mode-1 frames giving the position (track, index, time in
// the track counting down through a pregap, time on the disc), mode-2 frames
// with the media catalog number and mode-3 frames with the track's ISRC in
// the audio tracks that have them, each code once in every 90 frames, the
// track's control bits and the CRC. The P channel marks the pregaps.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "disc_toc.h"

namespace drivesim {

inline constexpr uint8_t kLeadOutTrack = 0xAA;

// Where a sector lies as its mode-1 Q frame says it.
struct QPosition {
    int track = 1;         // kLeadOutTrack in the lead-out
    int index = 1;         // 0 in a pregap
    int32_t relative = 0;  // frames from INDEX 01, counting down to it in a pregap
    uint8_t control = 0;   // the track's control bits (in a pregap, the next track's)
};

QPosition PositionOf(const akrip::DiscToc& toc, int64_t lsn);

// The 12 bytes of one Q frame (10 bytes and the CRC) and the P bit.
struct QFrame {
    std::array<uint8_t, 12> bytes{};
    bool p = false;
};

QFrame SubChannelOf(const akrip::DiscToc& toc, int64_t lsn);

// The CRC of Q's first 10 bytes: CCITT (x^16 + x^12 + x^5 + 1), inverted,
// as the disc stores it.
uint16_t QCrc(std::span<const uint8_t> bytes);

// READ CD's sub-channel selections: the raw P-W bits (96 bytes, one bit of
// each channel a byte, P in bit 7) and the formatted Q (16 bytes: Q, its
// CRC, and P in bit 7 of the last byte).
void PutRawPw(const QFrame& frame, std::span<uint8_t, 96> out);
void PutFormattedQ(const QFrame& frame, std::span<uint8_t, 16> out);

}  // namespace drivesim
