#include "mmc_sense.h"

#include <cdio/mmc.h>

#include <cstdlib>
#include <memory>

namespace akrip {
namespace {

struct Sense {
    bool valid = false;
    uint8_t key = 0;
    uint8_t asc = 0;
};

Sense LastSense(const CdIo_t* cdio) {
    cdio_mmc_request_sense_t* raw = nullptr;
    const int bytes = mmc_last_cmd_sense(cdio, &raw);
    const std::unique_ptr<cdio_mmc_request_sense_t, decltype(&std::free)> owned(raw, &std::free);
    if (bytes < 14 || raw == nullptr) return {};
    return {true, static_cast<uint8_t>(raw->sense_key), raw->asc};
}

}  // namespace

bool SenseSaysDiscGone(const CdIo_t* cdio) {
    const Sense sense = LastSense(cdio);
    return sense.valid &&
           (sense.key == 2 || (sense.key == 6 && sense.asc == 0x28) || (sense.key == 5 && sense.asc == 0x21));
}

bool SenseSaysOtherMode(const CdIo_t* cdio) {
    const Sense sense = LastSense(cdio);
    return sense.valid && sense.key == 5 && sense.asc == 0x64;
}

}  // namespace akrip
