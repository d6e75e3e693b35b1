// Test helpers for encoder plug-ins: the module loaded the way the host loads
// it (dlopen, the three names and the optional ones), and a temporary folder
// for its files.
#pragma once

#include <dlfcn.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <system_error>

#include "cadrix_plugin.h"
#include "temp_dir.h"

namespace plugin_test {

struct PluginModule {
    explicit PluginModule(const char* path) {
        handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (!handle) return;
        open = reinterpret_cast<OpenOutputProc>(dlsym(handle, "OpenOutput"));
        write = reinterpret_cast<WriteOutputProc>(dlsym(handle, "WriteOutput"));
        close = reinterpret_cast<CloseOutputProc>(dlsym(handle, "CloseOutput"));
        setExtras = reinterpret_cast<SetTrackExtrasProc>(dlsym(handle, "SetTrackExtras"));
        errorText = reinterpret_cast<OutputErrorTextProc>(dlsym(handle, "OutputErrorText"));
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

    // Open, every block, close, in a child process whose files may not grow
    // beyond `fileLimit` bytes: a full disk. 0 when a block was refused, so
    // was every later one, and the reason given names the failed write;
    // otherwise nonzero.
    int WriteTrackToFullDisk(const std::filesystem::path& base, int32_t quality, std::span<const uint8_t> pcm,
                             uint32_t blockBytes, rlim_t fileLimit) {
        const pid_t child = fork();
        if (child == 0) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{fileLimit, fileLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
            if (open(base.c_str(), quality, nullptr) != 1) _exit(1);
            size_t accepted = 0, refused = 0;
            for (size_t at = 0; at < pcm.size(); at += blockBytes) {
                const auto n = static_cast<uint32_t>(std::min<size_t>(blockBytes, pcm.size() - at));
                const bool ok = write(pcm.data() + at, n) == 1;
                if (ok && refused > 0) _exit(3);
                (ok ? accepted : refused) += 1;
            }
            const bool saysWhy = std::string(errorText()).find("File too large") != std::string::npos;
            close();
            _exit(accepted > 0 && refused > 0 && saysWhy ? 0 : 2);
        }
        int status = 0;
        return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    void* handle = nullptr;
    OpenOutputProc open = nullptr;
    WriteOutputProc write = nullptr;
    CloseOutputProc close = nullptr;
    SetTrackExtrasProc setExtras = nullptr;
    OutputErrorTextProc errorText = nullptr;
};

using TempDir = cadrix::test::TempDir;

}  // namespace plugin_test
