#include "cddb_id.h"

#include "image_plan.h"

namespace akrip {

uint32_t CddbDiscId(const DiscToc& toc) {
    if (toc.Empty()) return 0;
    uint32_t digitSum = 0;
    for (const TocTrack& track : toc.tracks) {
        for (uint32_t seconds = static_cast<uint32_t>(track.start + kMsfOffsetFrames) / kFramesPerSecond;
             seconds > 0; seconds /= 10) {
            digitSum += seconds % 10;
        }
    }
    const uint32_t length = static_cast<uint32_t>(toc.leadOut + kMsfOffsetFrames) / kFramesPerSecond -
                            static_cast<uint32_t>(toc.tracks.front().start + kMsfOffsetFrames) / kFramesPerSecond;
    return ((digitSum % 255) << 24) | ((length & 0xFFFF) << 8) | static_cast<uint32_t>(toc.tracks.size() & 0xFF);
}

void FillCddbWords(const DiscToc& toc, std::span<uint32_t> words) {
    const size_t count = toc.tracks.size();
    for (size_t i = 0; i < words.size() && i < count + 3; ++i) {
        if (i == 0) {
            words[i] = CddbDiscId(toc);
        } else if (i == 1) {
            words[i] = static_cast<uint32_t>(count);
        } else if (i < count + 2) {
            words[i] = static_cast<uint32_t>(toc.tracks[i - 2].start + kMsfOffsetFrames);
        } else {
            words[i] = static_cast<uint32_t>(toc.leadOut + kMsfOffsetFrames) / kFramesPerSecond;
        }
    }
}

}  // namespace akrip
