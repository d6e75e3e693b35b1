// Runs command-line tools for the plug-ins' end-to-end tests: the flac tools
// as oracles, and cadrix-rip on a generated demo disc.
#pragma once

#include <stdio.h>

#include <filesystem>
#include <string>

namespace plugin_test {

inline std::string ShellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// What `command` writes to its standard output; `ok` tells whether it exited with 0.
inline std::string CommandOutput(const std::string& command, bool* ok = nullptr) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return output;
    char chunk[65536];
    for (size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) output.append(chunk, n);
    const int status = pclose(pipe);
    if (ok != nullptr) *ok = status == 0;
    return output;
}

// `rip` with `arguments` (already quoted) over the demo disc written to
// `demo`, with plug-ins from `moduleDir` and its output into `log`; true
// when it exited with 0.
inline bool RunCadrixRip(const std::string& rip, const std::filesystem::path& demo, const std::string& moduleDir,
                         const std::string& arguments, const std::filesystem::path& log) {
    bool ok = false;
    CommandOutput("env CADRIX_VIRTUAL_DRIVES=" + ShellQuoted((demo / "drive").string()) +
                      " XDG_CONFIG_HOME=" + ShellQuoted((demo / "config").string()) +
                      " HOME=" + ShellQuoted(demo.parent_path().string()) + " CADRIX_MODULE_DIR=" +
                      ShellQuoted(moduleDir) + " " + ShellQuoted(rip) + " " + arguments + " > " +
                      ShellQuoted(log.string()) + " 2>&1",
                  &ok);
    return ok;
}

}  // namespace plugin_test
