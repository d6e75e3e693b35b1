// The small text files Cadrix takes by name (the suite's ini, disc database
// files, the settings, the rip log). Reading: no file can hang or flood the
// program: the open never blocks (a FIFO or a device is refused at once),
// only regular files are read, and only up to a size limit. Writing: a whole
// file that no reader ever sees part of: the text goes into a temporary file
// in the same folder, is flushed to disk, and only then takes the final name.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace cadrix {

// Far above any real file of these kinds (the suite's settings file holds
// the whole suite's settings); a larger file is refused rather than read.
inline constexpr size_t MAX_SMALL_FILE_BYTES = size_t{64} << 20;

struct SmallFileRead {
    std::optional<std::string> text;  // the whole file, read to its end
    bool missing = false;             // there is no file of that name
    std::string reason;               // why it was not read, when it exists
};

// The whole content of the regular file at `path`: missing when there is no
// such file; otherwise no text, with the reason, when it cannot be opened,
// is not a regular file, is larger than `maxBytes` or a read fails.
SmallFileRead ReadSmallFileChecked(const std::string& path, size_t maxBytes = MAX_SMALL_FILE_BYTES);

// The text alone; none for a missing file as for a refused one.
std::optional<std::string> ReadSmallFile(const std::string& path, size_t maxBytes = MAX_SMALL_FILE_BYTES);

// One line on standard error: "<program>: <path>: <reason>; <consequence>".
void SayFileRefused(const std::string& path, std::string_view reason, std::string_view consequence);

// Writes `text` to `path` (the folder must exist) with permissions `mode`,
// replacing a file of that name. False, with errno set, when anything
// failed; an old file is then untouched.
bool ReplaceFileAtomically(const std::string& path, std::string_view text, mode_t mode = 0600);

enum class CreateOutcome {
    Written,  // the file is there now, complete
    Exists,   // a file of that name exists and was left as it is
    Failed,   // the file could not be written (errno says why)
};

// Writes `text` to `path` the same way, but only if no file of that name
// exists: an existing file is never replaced. Permissions follow the umask
// from 0644.
CreateOutcome CreateFileAtomically(const std::string& path, std::string_view text);

}  // namespace cadrix
