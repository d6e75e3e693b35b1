// Shell commands for the plug-ins' end-to-end tests, run by the tests' one
// program runner (run_program.h): the flac tools as oracles, and cadrix-rip
// on a generated demo disc.
#pragma once

#include <filesystem>
#include <string>

#include "run_program.h"

namespace plugin_test {

inline std::string ShellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// What `command` (run by /bin/sh) writes to its standard output; `ok` tells
// whether it exited with 0.
inline std::string CommandOutput(const std::string& command, bool* ok = nullptr) {
    cadrix::test::ProgramOptions options;
    options.timeoutSeconds = 3600;  // the encoders' oracles on whole discs
    const cadrix::test::ProgramResult result = cadrix::test::RunProgram("/bin/sh", {"-c", command}, options);
    if (ok != nullptr) *ok = result.status == 0;
    return result.output;
}

// `rip` with `arguments` (already quoted) over the demo disc written to
// `demo`, with plug-ins from `moduleDir` and its output into `log`; true
// when it exited with 0.
inline bool RunCadrixRip(const std::string& rip, const std::filesystem::path& demo, const std::string& moduleDir,
                         const std::string& arguments, const std::filesystem::path& log) {
    bool ok = false;
    CommandOutput("env CADRIX_VIRTUAL_DRIVES=" + ShellQuoted((demo / "drive").string()) + " XDG_CONFIG_HOME=" +
                      ShellQuoted((demo / "config").string()) + " HOME=" + ShellQuoted(demo.parent_path().string()) +
                      " CADRIX_MODULE_DIR=" + ShellQuoted(moduleDir) + " " + ShellQuoted(rip) + " " + arguments +
                      " > " + ShellQuoted(log.string()) + " 2>&1",
                  &ok);
    return ok;
}

}  // namespace plugin_test
