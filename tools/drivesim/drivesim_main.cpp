// cadrix-drivesim: runs a command with an emulated CD-ROM drive. Sets up the
// drive's state in a private folder, puts the device first in
// CADRIX_CD_DEVICES, preloads the interposer and runs the command, passing
// on the signals that would end it and returning its exit status.
#include <link.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "drive_options.h"
#include "drive_state.h"
#include "virtual_drive.h"

namespace fs = std::filesystem;

namespace {

volatile pid_t gChild = -1;

void ForwardSignal(int sig) {
    if (gChild > 0) ::kill(gChild, sig);
}

// A program built with a sanitizer needs its runtime (libasan, libtsan)
// first in the preload list. This launcher is built like the programs it is
// tested with, and any program below COMMAND may be one of them, so the
// runtime it runs with goes first for every command; an unsanitized program
// runs with it preloaded as well.
std::string SanitizerRuntime() {
    std::string runtime;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            const std::string name = info->dlpi_name ? info->dlpi_name : "";
            const std::string leaf = name.substr(name.rfind('/') + 1);
            if (leaf.starts_with("libasan.so") || leaf.starts_with("libtsan.so"))
                *static_cast<std::string*>(data) = name;
            return 0;
        },
        &runtime);
    return runtime;
}

// The interposer sits beside this program: bin/ and lib/cadrix/ of the build tree or install.
std::string PreloadLibrary() {
    const fs::path self = fs::read_symlink("/proc/self/exe");
    for (const fs::path& candidate :
         {self.parent_path() / "../lib/cadrix/libcadrix_drivesim.so", self.parent_path() / "libcadrix_drivesim.so"}) {
        std::error_code error;
        if (fs::exists(candidate, error)) return fs::weakly_canonical(candidate).string();
    }
    return {};
}

void PrependEnvironment(const char* name, const std::string& value, char separator) {
    const char* old = std::getenv(name);
    const std::string joined = old && *old ? value + separator + old : value;
    ::setenv(name, joined.c_str(), 1);
}

int RunCommand(const std::vector<std::string>& command) {
    std::vector<char*> argv;
    for (const std::string& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child < 0) return 127;
    if (child == 0) {
        ::execvp(argv[0], argv.data());
        std::fprintf(stderr, "cadrix-drivesim: cannot run %s: %s\n", argv[0], std::strerror(errno));
        ::_exit(127);
    }
    gChild = child;
    struct sigaction action {};
    action.sa_handler = &ForwardSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) ::sigaction(sig, &action, nullptr);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {}
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Makes every image path absolute; false (said on standard error) when one
// is no complete disc image.
bool CheckImages(std::vector<std::string>& images) {
    for (std::string& image : images) {
        std::error_code ec;
        image = fs::absolute(image, ec).string();
        if (!akrip::LoadDiscImage(image)) {
            std::fprintf(stderr, "cadrix-drivesim: %s is no complete disc image\n", image.c_str());
            return false;
        }
    }
    return true;
}

// Appends what the drive did during the command to the log at `logPath`.
void LogDriveWork(const std::string& statePath, const std::string& logPath) {
    if (auto* state = drivesim::MapStateFile(statePath)) {
        std::ofstream log(logPath, std::ios::app);
        log << "drive: " << state->reads.load() << " reads, " << state->framesRead << " frames, busy "
            << static_cast<double>(state->busyNs) / 1e9 << " s\n";
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(drivesim::kDriveSimUsage, stdout);
        return 0;
    }
    drivesim::DriveOptions options;
    std::string error;
    if (!drivesim::ParseDriveOptions(args, options, error) || options.command.empty()) {
        std::fprintf(stderr, "cadrix-drivesim: %s\n%s", error.empty() ? "no command" : error.c_str(),
                     drivesim::kDriveSimUsage);
        return 2;
    }
    if (!CheckImages(options.images)) return 2;
    const std::string preload = PreloadLibrary();
    if (preload.empty()) {
        std::fprintf(stderr, "cadrix-drivesim: libcadrix_drivesim.so not found beside the program\n");
        return 2;
    }
    std::string folder = (fs::temp_directory_path() / "cadrix-drivesim-XXXXXX").string();
    if (!::mkdtemp(folder.data())) {
        std::fprintf(stderr, "cadrix-drivesim: cannot make a private folder\n");
        return 2;
    }
    if (options.device.empty()) {
        options.device = folder + "/sr0";
        std::ofstream(options.device).flush();  // realpath() and the like see a file there
    }
    const std::string statePath = folder + "/drive-state";
    if (!options.log.empty()) options.log = fs::absolute(options.log).string();
    const std::string config = drivesim::SerializeDriveOptions(options);
    if (!drivesim::CreateStateFile(statePath, config, options.noDisc ? -1 : 0)) {
        std::fprintf(stderr, "cadrix-drivesim: cannot create the drive's state\n");
        fs::remove_all(folder);
        return 2;
    }
    ::setenv("CADRIX_DRIVESIM_STATE", statePath.c_str(), 1);
    ::setenv("CADRIX_DRIVESIM_DEVICE", options.device.c_str(), 1);
    PrependEnvironment("CADRIX_CD_DEVICES", options.device, ':');
    PrependEnvironment("LD_PRELOAD", preload, ' ');
    const std::string runtime = SanitizerRuntime();
    if (!runtime.empty()) PrependEnvironment("LD_PRELOAD", runtime, ' ');
    const int status = RunCommand(options.command);
    if (!options.log.empty()) LogDriveWork(statePath, options.log);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return status;
}
