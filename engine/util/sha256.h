// SHA-256 (FIPS 180-4) of a byte string, as lowercase hexadecimal.
#pragma once

#include <string>
#include <string_view>

namespace cadrix {

std::string Sha256Hex(std::string_view bytes);

}  // namespace cadrix
