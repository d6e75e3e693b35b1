// The per-thread initialisation pair and MulDiv of the platform layer.
#include <cstdlib>

#include "wmsdk.h"

namespace {
thread_local int initialisations = 0;
}

HRESULT CoInitialize(void*) { return initialisations++ == 0 ? S_OK : S_FALSE; }

void CoUninitialize() {
    if (initialisations > 0) --initialisations;
}

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
    if (c == 0) return -1;
    const int64_t product = int64_t(a) * b;
    int64_t quotient = product / c;
    const int64_t remainder = product % c;
    if (2 * std::llabs(remainder) >= std::llabs(int64_t(c))) quotient += (product < 0) != (c < 0) ? -1 : 1;
    if (quotient < INT32_MIN || quotient > INT32_MAX) return -1;
    return static_cast<int32_t>(quotient);
}
