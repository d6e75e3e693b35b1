// What the sense data of a drive's last failed command says.
#pragma once

#include <cdio/cdio.h>

namespace akrip {

// The disc is not the one the reader was made for: not ready or no medium
// (2/xx), the medium changed (6/28), or an address the disc does not have
// (5/21).
bool SenseSaysDiscGone(const CdIo_t* cdio);

// The sector is of another mode than asked for (5/64/00): a data sector
// read as CD-DA.
bool SenseSaysOtherMode(const CdIo_t* cdio);

}  // namespace akrip
