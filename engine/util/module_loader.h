// Finds and loads Cadrix's run-time modules (akrip.so, cadrix_wma.so,
// cadrix_ogg.so) by file name.
#pragma once

#include <dlfcn.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace cadrix {

struct ModuleCloser {
    void operator()(void* handle) const noexcept {
        if (handle != nullptr) dlclose(handle);
    }
};

// Owner of a dlopen handle; empty when the module is not loaded.
using ModuleHandle = std::unique_ptr<void, ModuleCloser>;

// The folders searched before the standard search path, in order:
// $CADRIX_MODULE_DIR when set, then lib/cadrix/ beside the program's own
// bin/ folder (the install and the build tree share that layout).
std::vector<std::string> ModuleSearchPath();

// Loads `fileName` from the first folder of ModuleSearchPath() that has it,
// else through the dynamic loader's standard search. Empty when not found or
// not loadable.
ModuleHandle LoadModule(std::string_view fileName);

// Looks up an exported C symbol; null when absent.
void* FindSymbol(const ModuleHandle& module, const char* name);

}  // namespace cadrix
