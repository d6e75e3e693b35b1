// The geometry of an audio CD, as every part of Cadrix counts it. A frame is
// one sector of the disc.
#pragma once

#include <cstdint>

namespace cadrix::cd {

// Audio: 588 stereo samples of 16 bits each, 1/75 s.
inline constexpr uint32_t kSamplesPerFrame = 588;
inline constexpr uint32_t kFrameBytes = kSamplesPerFrame * 4;  // 2352, also a raw data sector
inline constexpr uint32_t kFramesPerSecond = 75;
// The two seconds before LBA 0: MSF 00:02:00 is LBA 0, and the TOC's track
// addresses in CDDB and MusicBrainz ids count them.
inline constexpr uint32_t kLeadInFrames = 150;
// Between the sessions of an Enhanced CD: the first session's lead-out
// (6750), the second's lead-in (4500) and its first pregap (150).
inline constexpr uint32_t kSessionGapFrames = 11400;
// The largest read offset a drive has, in samples either way: ten frames.
inline constexpr int32_t kMaxReadOffset = 10 * static_cast<int32_t>(kSamplesPerFrame);

static_assert(kFrameBytes == 2352 && kMaxReadOffset == 5880);

}  // namespace cadrix::cd
