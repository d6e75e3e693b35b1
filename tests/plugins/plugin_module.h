// Test helpers for encoder plug-ins: the module loaded the way the host loads
// it (dlopen and the three names), and a temporary folder for its files.
#pragma once

#include <dlfcn.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <system_error>

#include "cadrix_plugin.h"

namespace plugin_test {

struct PluginModule {
    explicit PluginModule(const char* path) {
        handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (!handle) return;
        open = reinterpret_cast<OpenOutputProc>(dlsym(handle, "OpenOutput"));
        write = reinterpret_cast<WriteOutputProc>(dlsym(handle, "WriteOutput"));
        close = reinterpret_cast<CloseOutputProc>(dlsym(handle, "CloseOutput"));
    }
    ~PluginModule() {
        if (handle) dlclose(handle);
    }
    // Open, every block, close, as the extraction worker does; false when a
    // call failed.
    bool WriteTrack(const std::filesystem::path& base, int32_t quality, const OutputTrackInfo* info,
                    std::span<const uint8_t> pcm, uint32_t blockBytes) {
        if (open(base.c_str(), quality, info) != 1) return false;
        bool ok = true;
        for (size_t at = 0; at < pcm.size() && ok; at += blockBytes) {
            const auto n = static_cast<uint32_t>(std::min<size_t>(blockBytes, pcm.size() - at));
            ok = write(pcm.data() + at, n) == 1;
        }
        close();
        return ok;
    }

    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    void* handle = nullptr;
    OpenOutputProc open = nullptr;
    WriteOutputProc write = nullptr;
    CloseOutputProc close = nullptr;
};

// `text` in single quotes for a POSIX shell command line.
inline std::string ShellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/cadrix-plugin-XXXXXX";
        if (mkdtemp(pattern) != nullptr) path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace plugin_test
