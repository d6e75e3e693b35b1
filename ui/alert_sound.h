// The desktop's completion sound, played without waiting for it.
#pragma once

#include <memory>

struct ca_context;

namespace cadrix {

class AlertSound {
public:
    AlertSound();
    ~AlertSound();
    AlertSound(const AlertSound&) = delete;
    AlertSound& operator=(const AlertSound&) = delete;

    // Starts the theme's "complete" sound (else "bell") and returns at once.
    // Rings the window system's bell instead when no sound server is
    // reachable.
    void Play();
    // True while the last sound still plays.
    bool IsPlaying();

    // The one player of the process; lives until exit so that a sound
    // started just before a dialog closes plays to its end.
    static AlertSound& Instance();

private:
    ca_context* context_ = nullptr;
};

// True when a PulseAudio-compatible server (PulseAudio, pipewire-pulse) can
// be reached: $PULSE_SERVER or the socket in the runtime folder.
bool SoundServerReachable();

}  // namespace cadrix
