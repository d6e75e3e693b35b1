// The seventeen built-in encoding profiles, in the writer's XML profile
// format: 0-9 constant bit rate (32 to 320 kbit/s), 10-15 quality-based VBR
// (quality 10, 25, 50, 75, 90, 98), 16 lossless.
#ifndef CADRIX_WMA_PROFILE_TABLE_H
#define CADRIX_WMA_PROFILE_TABLE_H

#include <cstddef>

constexpr int WMA_PROFILE_COUNT = 17;
constexpr size_t WMA_PROFILE_SLOT_SIZE = 740;
constexpr int WMA_PROFILE_LOSSLESS = 16;

extern const char WmaProfileTable[WMA_PROFILE_COUNT][WMA_PROFILE_SLOT_SIZE];

#endif
