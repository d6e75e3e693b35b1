// The program itself: a second start while the marker is held ends at once,
// silently and successfully, before any window system is touched.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "single_instance.h"
#include "ui_test_support.h"

#ifdef CADRIX_HAVE_XCB
#include <xcb/xcb.h>
#endif

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

std::string FakeModuleDir() {
    const char* fakes = getenv("CADRIX_TEST_FAKES");
    return fakes != nullptr ? fakes : CADRIX_TEST_FAKES_DIR;
}

#ifdef CADRIX_HAVE_XCB
// An X server of the test's own (Xvfb on the first free display), when Xvfb
// is installed. It must not reset when the test's own short connections end,
// or the program's connection could come in during the reset.
class VirtualScreen {
public:
    VirtualScreen() {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        std::vector<std::string> args = {"Xvfb",       "-displayfd", "3",   "-screen", "0",
                                         "800x600x24", "-nolisten",  "tcp", "-noreset"};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        // Xvfb writes its display number once it accepts clients.
        std::string number;
        pollfd ready{fds[0], POLLIN, 0};
        while (pid_ > 0 && number.find('\n') == std::string::npos && poll(&ready, 1, 20000) > 0) {
            char buffer[16];
            const ssize_t n = read(fds[0], buffer, sizeof buffer);
            if (n <= 0) break;
            number.append(buffer, static_cast<size_t>(n));
        }
        close(fds[0]);
        if (number.find('\n') != std::string::npos) display_ = ":" + number.substr(0, number.find('\n'));
    }
    ~VirtualScreen() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    VirtualScreen(const VirtualScreen&) = delete;
    VirtualScreen& operator=(const VirtualScreen&) = delete;

    const std::string& Display() const { return display_; }  // empty when not started

private:
    pid_t pid_ = -1;
    std::string display_;
};

// The _NET_WM_NAME of the first mapped top-level window of `display` (empty
// when there is none yet): what a window manager shows in the title bar.
std::string ShownWindowTitle(const std::string& display) {
    xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
    std::string title;
    if (xcb_connection_has_error(connection) == 0) {
        auto atom = [connection](const char* name) {
            xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
                connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(strlen(name)), name), nullptr);
            const xcb_atom_t value = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
            free(reply);
            return value;
        };
        const xcb_atom_t netWmName = atom("_NET_WM_NAME");
        const xcb_atom_t utf8 = atom("UTF8_STRING");
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(connection, xcb_query_tree(connection, root), nullptr);
        if (tree != nullptr) {
            const xcb_window_t* children = xcb_query_tree_children(tree);
            for (int i = 0; i < xcb_query_tree_children_length(tree) && title.empty(); ++i) {
                xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
                    connection, xcb_get_window_attributes(connection, children[i]), nullptr);
                const bool mapped = attributes != nullptr && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
                free(attributes);
                if (!mapped) continue;
                xcb_get_property_reply_t* name = xcb_get_property_reply(
                    connection, xcb_get_property(connection, 0, children[i], netWmName, utf8, 0, 1024), nullptr);
                if (name != nullptr) {
                    title.assign(static_cast<const char*>(xcb_get_property_value(name)),
                                 static_cast<size_t>(xcb_get_property_value_length(name)));
                }
                free(name);
            }
            free(tree);
        }
    }
    xcb_disconnect(connection);
    return title;
}
#endif

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
    // The fake akrip.so lists no drive: "Could not initialize AKRip library."
    const pid_t pid = StartCadrix(runtime.Path(), scratch,
                                  {"QT_QPA_PLATFORM=offscreen", "CADRIX_MODULE_DIR=" + FakeModuleDir()});
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
    EXPECT_NE(access(marker.c_str(), F_OK), 0);                                           // the marker is gone
    EXPECT_NE(access((scratch / "config/Zephyrtone/Zephyrtone.conf").c_str(), F_OK), 0);  // nothing saved
    // And the next start is not refused.
    EXPECT_EQ(SingleInstance().Acquire(runtime.Path()), SingleInstance::Result::Acquired);
}

TEST(Application, TheWindowSystemShowsTheCaptionsExactly) {
#ifdef CADRIX_HAVE_XCB
    const VirtualScreen screen;
    if (screen.Display().empty()) GTEST_SKIP() << "no Xvfb to show the program's windows on";
    TempDir runtime, scratch;
    // The start-up failure message is the first window: its caption is the
    // program's name, with nothing appended by the toolkit.
    const pid_t pid = StartCadrix(runtime.Path(), scratch,
                                  {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + screen.Display(),
                                   "CADRIX_MODULE_DIR=" + FakeModuleDir()});
    ASSERT_GT(pid, 0);
    std::string title;
    for (int i = 0; i < 3000 && title.empty() && waitpid(pid, nullptr, WNOHANG) == 0; ++i) {
        title = ShownWindowTitle(screen.Display());
        if (title.empty()) usleep(10000);
    }
    kill(pid, SIGTERM);
    const Outcome outcome = WaitForCadrix(pid, scratch);
    EXPECT_TRUE(outcome.ended);
    EXPECT_EQ(title, "cadrix") << outcome.err;
#else
    GTEST_SKIP() << "built without xcb";
#endif
}

}  // namespace
}  // namespace cadrix
