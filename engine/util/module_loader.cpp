#include "util/module_loader.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace cadrix {

namespace {

std::string ProgramModuleDir() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return {};
    return (self.parent_path().parent_path() / "lib" / "cadrix").string();
}

}  // namespace

std::vector<std::string> ModuleSearchPath() {
    std::vector<std::string> folders;
    if (const char* overrideDir = std::getenv("CADRIX_MODULE_DIR"); overrideDir != nullptr && *overrideDir != '\0') {
        folders.emplace_back(overrideDir);
    }
    if (auto own = ProgramModuleDir(); !own.empty()) folders.push_back(std::move(own));
    return folders;
}

ModuleHandle LoadModule(std::string_view fileName) {
    const std::string name(fileName);
    for (const auto& folder : ModuleSearchPath()) {
        const std::string candidate = folder + "/" + name;
        if (access(candidate.c_str(), F_OK) != 0) continue;
        if (void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            return ModuleHandle(handle);
        }
    }
    return ModuleHandle(dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL));
}

void* FindSymbol(const ModuleHandle& module, const char* name) {
    if (!module) return nullptr;
    return dlsym(module.get(), name);
}

}  // namespace cadrix
