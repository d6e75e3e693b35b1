#include "cddb_id.h"

#include <array>

#include "cddb_disc_id.h"
#include "image_plan.h"

namespace akrip {

uint32_t CddbDiscId(const DiscToc& toc) {
    if (toc.Empty() || toc.tracks.size() > size_t{kMaxTracks}) return 0;
    std::array<uint32_t, kMaxTracks> starts{};
    for (size_t i = 0; i < toc.tracks.size(); ++i) starts[i] = static_cast<uint32_t>(toc.tracks[i].start);
    return ::CddbDiscId(std::span(starts.data(), toc.tracks.size()), static_cast<uint32_t>(toc.leadOut));
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
