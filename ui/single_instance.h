// The single-instance marker "Zephyrtone.Cadrix": a file of that name in the
// user's runtime folder, held with flock() for as long as the program runs.
// The kernel drops the lock when the process dies, so a crash never leaves a
// stale marker; an orderly end removes the file as well.
#pragma once

#include <string>

namespace cadrix {

inline constexpr const char* INSTANCE_MARKER_NAME = "Zephyrtone.Cadrix";

// $XDG_RUNTIME_DIR, else a private folder "Zephyrtone-<uid>" (mode 0700,
// owned by the user) in $TMPDIR or /tmp. Empty when none is usable.
std::string InstanceMarkerFolder();

class SingleInstance {
public:
    SingleInstance() = default;
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;
    ~SingleInstance() { Release(); }

    enum class Result { Acquired, AlreadyRunning, Unavailable };

    // Creates and locks the marker in `folder` (default InstanceMarkerFolder()).
    // AlreadyRunning when another process holds it; Unavailable when the
    // marker cannot be created at all (the program then runs unguarded).
    Result Acquire(const std::string& folder = InstanceMarkerFolder());
    // Removes the marker (before unlocking it) and closes it; idempotent.
    void Release();

    bool Held() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }

private:
    int fd_ = -1;
    std::string path_;
};

}  // namespace cadrix
