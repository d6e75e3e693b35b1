// The program itself: a second start while the marker is held ends at once,
// silently and successfully, before any window system is touched.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "single_instance.h"
#include "ui_test_support.h"

extern char** environ;

namespace cadrix {
namespace {

using test::ReadFile;
using test::TempDir;

struct Outcome {
    bool ended = false;   // within the time limit
    bool exited = false;  // normally, not by a signal
    int status = -1;
    std::string out, err;
};

// Starts the program with `runtimeDir` as its runtime folder, `scratch` as
// its home and configuration folder, and `extraEnv` besides.
pid_t StartCadrix(const std::string& runtimeDir, const TempDir& scratch, std::vector<std::string> extraEnv) {
    std::vector<std::string> env = {"XDG_RUNTIME_DIR=" + runtimeDir, "HOME=" + scratch.Path(),
                                    "XDG_CONFIG_HOME=" + scratch / "config", "ASAN_OPTIONS=detect_leaks=0"};
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, (scratch / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, (scratch / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::string program = CADRIX_EXE;
    char* argv[] = {program.data(), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? pid : -1;
}

// Waits (at most a generous while) for the program to end.
Outcome WaitForCadrix(pid_t pid, const TempDir& scratch) {
    Outcome outcome;
    if (pid <= 0) return outcome;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return outcome;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    outcome.ended = true;
    outcome.exited = WIFEXITED(status);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.out = ReadFile(scratch / "out");
    outcome.err = ReadFile(scratch / "err");
    return outcome;
}

// A Qt platform that does not exist: creating the application object would
// fail loudly, so a quiet exit proves the program ended before it.
Outcome RunCadrix(const std::string& runtimeDir, const TempDir& scratch) {
    return WaitForCadrix(StartCadrix(runtimeDir, scratch, {"QT_QPA_PLATFORM=no-such-platform"}), scratch);
}

TEST(Application, SecondStartEndsSilentlyWithSuccess) {
    TempDir runtime, scratch;
    SingleInstance running;
    ASSERT_EQ(running.Acquire(runtime.Path()), SingleInstance::Result::Acquired);
    const Outcome second = RunCadrix(runtime.Path(), scratch);
    ASSERT_TRUE(second.exited);
    EXPECT_EQ(second.status, 0);
    EXPECT_EQ(second.out, "");
    EXPECT_EQ(second.err, "");
    // The running instance still holds its marker.
    EXPECT_EQ(SingleInstance().Acquire(runtime.Path()), SingleInstance::Result::AlreadyRunning);
}

TEST(Application, WithoutAnotherInstanceItGoesOnToStartQt) {
    TempDir runtime, scratch;
    const Outcome first = RunCadrix(runtime.Path(), scratch);
    ASSERT_TRUE(first.ended);
    EXPECT_FALSE(first.exited && first.status == 0);  // the missing platform stops it, loudly
    EXPECT_NE(first.err, "");
}

TEST(Application, QuitDuringTheStartUpFailureMessageEndsInOrder) {
    TempDir runtime, scratch;
    const char* fakes = getenv("CADRIX_TEST_FAKES");
    const std::string fakeDir = fakes != nullptr ? fakes : CADRIX_TEST_FAKES_DIR;
    // The fake akrip.so lists no drive: "Could not initialize AKRip library."
    const pid_t pid = StartCadrix(runtime.Path(), scratch,
                                  {"QT_QPA_PLATFORM=offscreen", "CADRIX_MODULE_DIR=" + fakeDir});
    ASSERT_GT(pid, 0);
    const std::string marker = runtime / "Zephyrtone.Cadrix";
    for (int i = 0; i < 3000 && access(marker.c_str(), F_OK) != 0; ++i) usleep(10000);
    ASSERT_EQ(access(marker.c_str(), F_OK), 0);
    // Whenever it arrives, the request closes the message and the program
    // ends the orderly way.
    kill(pid, SIGTERM);
    const Outcome outcome = WaitForCadrix(pid, scratch);
    ASSERT_TRUE(outcome.ended);
    EXPECT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(access(marker.c_str(), F_OK), 0);  // the marker is gone
    EXPECT_NE(access((scratch / "config/Zephyrtone/Zephyrtone.conf").c_str(), F_OK), 0);  // nothing saved
    // And the next start is not refused.
    EXPECT_EQ(SingleInstance().Acquire(runtime.Path()), SingleInstance::Result::Acquired);
}

}  // namespace
}  // namespace cadrix
