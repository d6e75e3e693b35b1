// Writing a whole file so that no reader ever sees part of it: the text goes
// into a temporary file in the same folder, is flushed to disk, and only then
// takes the final name.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

namespace cadrix {

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
