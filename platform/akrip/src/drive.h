// What a drive handle reads from: a real drive or a folder holding an image.
#pragma once

#include <cstdint>

#include "disc_toc.h"

namespace akrip {

class Drive {
public:
    virtual ~Drive() = default;
    // Looks at the drive again, so that a disc put in or taken out since the
    // last call is seen, and returns the TOC (empty: no disc).
    virtual DiscToc ReadToc() = 0;
    // Reads up to `frames` audio sectors from `lsn` into `out`. Returns the
    // number read: fewer when the readable audio ends inside the request,
    // 0 when `lsn` is not readable audio or the read failed.
    virtual uint32_t ReadAudio(int64_t lsn, uint32_t frames, uint8_t* out) = 0;
};

}  // namespace akrip
