// Reading the small text files Cadrix takes by name (the suite's ini, disc
// database files, the settings) so that no file can hang or flood the
// program: the open never blocks (a FIFO or a device is refused at once),
// only regular files are read, and only up to a size limit.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace cadrix {

// Files of these kinds are far smaller; anything larger is not one.
inline constexpr size_t MAX_SMALL_FILE_BYTES = 1 << 20;

// The whole content of the regular file at `path`; none when it cannot be
// opened, is not a regular file, is larger than `maxBytes` or a read fails.
std::optional<std::string> ReadSmallFile(const std::string& path, size_t maxBytes = MAX_SMALL_FILE_BYTES);

}  // namespace cadrix
