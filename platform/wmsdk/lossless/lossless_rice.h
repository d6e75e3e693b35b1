// The adaptive Rice code of WMA Lossless residuals: the parameter follows a
// moving average of the coded values, kept as the decoder keeps it.
#ifndef CADRIX_WMSDK_LOSSLESS_RICE_H
#define CADRIX_WMSDK_LOSSLESS_RICE_H

#include <cstdint>

#include "bit_writer.h"

namespace wmsdk::lossless {

// Codes `count` residuals with the moving average `aveSum` (updated) at
// scaling `mvs`.
void WriteRiceResiduals(BitWriter& out, const int32_t* residuals, int count, uint32_t& aveSum, int mvs);

// The initial average a seekable tile sends for residuals that start with
// `residuals[0..count)`: about half their mean folded value, 16 bits at most.
uint32_t InitialAverage(const int32_t* residuals, int count);

}  // namespace wmsdk::lossless

#endif
