// The code tables of WMA Standard (format tag 0x0161): spectral coefficients
// are coded as (run of zeros, level) pairs with one of six tables, two per
// bit-rate class (the second for the side channel of mid/side blocks);
// exponents as deltas; the gains of noise-coded bands as deltas.
#ifndef CADRIX_WMSDK_STANDARD_COEF_TABLES_H
#define CADRIX_WMSDK_STANDARD_COEF_TABLES_H

#include <cstdint>
#include <span>

namespace wmsdk::standard {

// Code 0 is the escape, code 1 the end of the block; then, level by level
// from 1 up, one code for each run 0 .. runsPerLevel[level - 1] - 1.
struct CoefCodeTable {
    std::span<const uint32_t> codes;
    std::span<const uint8_t> lengths;
    std::span<const uint16_t> runsPerLevel;
};

// Table 2 * bitRateClass + (side channel of a mid/side block ? 1 : 0).
const CoefCodeTable& CoefTable(int index);

extern const uint32_t kCoef0Codes[666];
extern const uint32_t kCoef1Codes[555];
extern const uint32_t kCoef2Codes[1336];
extern const uint32_t kCoef3Codes[1072];
extern const uint32_t kCoef4Codes[476];
extern const uint32_t kCoef5Codes[435];

// Exponent delta d (-60 .. 60) is code d + 60.
extern const uint32_t kExponentCodes[121];
extern const uint8_t kExponentLengths[121];

// Noise-gain step d (-18 .. 18) is code d + 18.
extern const uint16_t kNoiseGainCodes[37];
extern const uint8_t kNoiseGainLengths[37];

}  // namespace wmsdk::standard

#endif
