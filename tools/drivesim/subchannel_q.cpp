#include "subchannel_q.h"

#include <algorithm>

#include "cd_geometry.h"

namespace drivesim {
namespace {

constexpr int64_t kFramesPerSecond = cadrix::cd::kFramesPerSecond;
constexpr int64_t kFramesPerMinute = 60 * kFramesPerSecond;
constexpr int64_t kMsfOffset = cadrix::cd::kLeadInFrames;
// The mode-2 and mode-3 frames: each once every kCodePeriod frames of the
// absolute time, at these phases.
constexpr int64_t kCodePeriod = 90;
constexpr int64_t kMcnPhase = 30;
constexpr int64_t kIsrcPhase = 60;

uint8_t Bcd(int64_t value) { return static_cast<uint8_t>(value / 10 << 4 | value % 10); }

void PutBcdMsf(uint8_t* out, int64_t frames) {
    out[0] = Bcd(frames / kFramesPerMinute % 100);
    out[1] = Bcd(frames / kFramesPerSecond % 60);
    out[2] = Bcd(frames % kFramesPerSecond);
}

// The ISRC's 6-bit character code: digits 0-9, letters from 17 on.
uint8_t IsrcCode(char c) {
    if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
    if (c >= 'A' && c <= 'Z') return static_cast<uint8_t>(c - 'A' + 17);
    return 0;
}

uint8_t Digit(char c) { return static_cast<uint8_t>(c >= '0' && c <= '9' ? c - '0' : 0); }

// Mode 2: the 13 digits in BCD, a zero nibble, a zero byte, the frame of the absolute time.
void PutMcn(const std::string& mcn, uint8_t* q) {
    for (size_t k = 0; k < 13; ++k) q[1 + k / 2] |= static_cast<uint8_t>(Digit(mcn[k]) << (k % 2 == 0 ? 4 : 0));
}

// Mode 3: five 6-bit characters in 30 bits, then seven BCD digits.
void PutIsrc(const std::string& isrc, uint8_t* q) {
    uint64_t bits = 0;
    for (size_t k = 0; k < 5; ++k) bits = bits << 6 | IsrcCode(isrc[k]);
    bits <<= 2;
    for (size_t k = 0; k < 4; ++k) q[1 + k] = static_cast<uint8_t>(bits >> (24 - 8 * k));
    for (size_t k = 0; k < 7; ++k) q[5 + k / 2] |= static_cast<uint8_t>(Digit(isrc[5 + k]) << (k % 2 == 0 ? 4 : 0));
}

bool SamePlace(const QPosition& a, const QPosition& b) { return a.track == b.track && a.index == b.index; }

// Whether the frame at `lsn` carries the code of `phase`: the frame at that
// phase, or the one after it when that one opens a track or index (whose
// first frame always gives the position).
bool CodeFrame(const akrip::DiscToc& toc, int64_t lsn, int64_t phase) {
    const int64_t at = (lsn + kMsfOffset) % kCodePeriod;
    if (at != phase && at != phase + 1) return false;
    const bool opensHere = lsn > 0 && !SamePlace(PositionOf(toc, lsn - 1), PositionOf(toc, lsn));
    if (at == phase) return !opensHere;
    const bool openedBefore = lsn > 1 && !SamePlace(PositionOf(toc, lsn - 2), PositionOf(toc, lsn - 1));
    return openedBefore && !opensHere;
}

}  // namespace

QPosition PositionOf(const akrip::DiscToc& toc, int64_t lsn) {
    QPosition position;
    if (toc.tracks.empty()) return position;
    if (lsn >= toc.leadOut) {
        position.track = kLeadOutTrack;
        position.relative = static_cast<int32_t>(lsn - toc.leadOut);
        position.control = toc.tracks.back().control & 0x04;
        return position;
    }
    size_t k = 0;
    while (k + 1 < toc.tracks.size() && toc.tracks[k + 1].PregapStart() <= lsn) ++k;
    const akrip::TocTrack& track = toc.tracks[k];
    position.track = static_cast<int>(k + 1);
    position.control = track.control;
    if (lsn < track.start) {
        position.index = 0;
        position.relative = static_cast<int32_t>(track.start - lsn);
        return position;
    }
    position.relative = static_cast<int32_t>(lsn - track.start);
    for (const akrip::TocIndex& index : track.indexes) {
        if (index.lsn <= lsn) position.index = index.number;
    }
    return position;
}

QFrame SubChannelOf(const akrip::DiscToc& toc, int64_t lsn) {
    QFrame frame;
    uint8_t* q = frame.bytes.data();
    const QPosition position = PositionOf(toc, lsn);
    const bool audio = (position.control & 0x04) == 0 && position.track != kLeadOutTrack;
    const akrip::TocTrack* track = position.track != kLeadOutTrack
                                       ? &toc.tracks[static_cast<size_t>(position.track - 1)]
                                       : nullptr;
    frame.p = position.index == 0;
    if (audio && toc.mcn.size() == 13 && CodeFrame(toc, lsn, kMcnPhase)) {
        q[0] = static_cast<uint8_t>(position.control << 4 | 2);
        PutMcn(toc.mcn, q);
        q[9] = Bcd((lsn + kMsfOffset) % kFramesPerSecond);
    } else if (audio && position.index > 0 && track->isrc.size() == 12 && CodeFrame(toc, lsn, kIsrcPhase)) {
        q[0] = static_cast<uint8_t>(position.control << 4 | 3);
        PutIsrc(track->isrc, q);
        q[9] = Bcd((lsn + kMsfOffset) % kFramesPerSecond);
    } else {
        q[0] = static_cast<uint8_t>(position.control << 4 | 1);
        q[1] = position.track == kLeadOutTrack ? kLeadOutTrack : Bcd(position.track);
        q[2] = Bcd(position.index);
        PutBcdMsf(&q[3], position.relative);
        PutBcdMsf(&q[7], lsn + kMsfOffset);
    }
    const uint16_t crc = QCrc(std::span<const uint8_t>(q, 10));
    q[10] = static_cast<uint8_t>(crc >> 8);
    q[11] = static_cast<uint8_t>(crc);
    return frame;
}

uint16_t QCrc(std::span<const uint8_t> bytes) {
    uint16_t crc = 0;
    for (uint8_t byte : bytes) {
        crc ^= static_cast<uint16_t>(byte << 8);
        for (int bit = 0; bit < 8; ++bit) crc = static_cast<uint16_t>((crc & 0x8000) ? crc << 1 ^ 0x1021 : crc << 1);
    }
    return static_cast<uint16_t>(~crc);
}

void PutRawPw(const QFrame& frame, std::span<uint8_t, 96> out) {
    for (size_t bit = 0; bit < 96; ++bit) {
        const bool q = (frame.bytes[bit / 8] >> (7 - bit % 8)) & 1;
        out[bit] = static_cast<uint8_t>((frame.p ? 0x80 : 0) | (q ? 0x40 : 0));
    }
}

void PutFormattedQ(const QFrame& frame, std::span<uint8_t, 16> out) {
    std::fill(out.begin(), out.end(), uint8_t{0});
    std::copy(frame.bytes.begin(), frame.bytes.end(), out.begin());
    out[15] = frame.p ? 0x80 : 0;
}

}  // namespace drivesim
