// Test helpers for encoder plug-ins: the module loaded the way the host loads
// it (dlopen and the three names), and a temporary folder for its files.
#pragma once

#include <dlfcn.h>
#include <stdlib.h>

#include <filesystem>
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
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    void* handle = nullptr;
    OpenOutputProc open = nullptr;
    WriteOutputProc write = nullptr;
    CloseOutputProc close = nullptr;
};

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
