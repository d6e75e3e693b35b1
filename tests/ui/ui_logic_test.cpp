// The dialog's logic that needs no window: the single-instance marker (the
// engine's settings, estimate and tooltip texts are tested in tests/engine/).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "single_instance.h"
#include "ui_test_support.h"

namespace cadrix {
namespace {

using test::TempDir;

TEST(SingleInstance, SecondHolderIsRefusedAndOrderlyEndRemovesTheMarker) {
    TempDir dir;
    SingleInstance first;
    ASSERT_EQ(first.Acquire(dir.Path()), SingleInstance::Result::Acquired);
    EXPECT_EQ(first.Path(), dir / "Zephyrtone.Cadrix");
    SingleInstance second;
    EXPECT_EQ(second.Acquire(dir.Path()), SingleInstance::Result::AlreadyRunning);
    first.Release();
    EXPECT_FALSE(std::filesystem::exists(dir / "Zephyrtone.Cadrix"));
    EXPECT_EQ(second.Acquire(dir.Path()), SingleInstance::Result::Acquired);
    EXPECT_EQ(SingleInstance().Acquire(dir / "no/such/folder"), SingleInstance::Result::Unavailable);
}

TEST(SingleInstance, CrashedHolderLeavesNoStaleLock) {
    TempDir dir;
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SingleInstance held;
        const char ok = held.Acquire(dir.Path()) == SingleInstance::Result::Acquired ? 'y' : 'n';
        if (write(ready[1], &ok, 1) != 1) _exit(1);
        pause();
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');
    SingleInstance probe;
    EXPECT_EQ(probe.Acquire(dir.Path()), SingleInstance::Result::AlreadyRunning);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    EXPECT_TRUE(std::filesystem::exists(dir / "Zephyrtone.Cadrix"));  // left behind, but not locked
    EXPECT_EQ(probe.Acquire(dir.Path()), SingleInstance::Result::Acquired);
}

TEST(SingleInstance, FallbackFolderIsPrivateToTheUser) {
    TempDir dir;
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    const std::string saved = runtime != nullptr ? runtime : "";
    unsetenv("XDG_RUNTIME_DIR");
    setenv("TMPDIR", dir.Path().c_str(), 1);
    const std::string folder = InstanceMarkerFolder();
    if (!saved.empty()) setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    unsetenv("TMPDIR");
    EXPECT_EQ(folder, dir / ("Zephyrtone-" + std::to_string(getuid())));
    struct stat st {};
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

}  // namespace
}  // namespace cadrix
