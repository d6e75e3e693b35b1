#include "alert_sound.h"

#include <canberra.h>
#include <sys/stat.h>
#include <QApplication>

#include <cstdlib>
#include <string>

namespace cadrix {

bool SoundServerReachable() {
    if (const char* server = std::getenv("PULSE_SERVER"); server != nullptr && server[0] != '\0') return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr || runtime[0] != '/') return false;
    struct stat st {};
    const std::string socket = std::string(runtime) + "/pulse/native";
    return stat(socket.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

AlertSound::AlertSound() = default;

AlertSound::~AlertSound() {
    if (context_ != nullptr) ca_context_destroy(context_);
}

AlertSound& AlertSound::Instance() {
    static AlertSound sound;
    return sound;
}

void AlertSound::Play() {
    // Without a server libcanberra would fall back to ALSA, which on a
    // machine without a sound card fills stderr with errors: the window
    // system's bell says it instead.
    if (!SoundServerReachable()) {
        QApplication::beep();
        return;
    }
    if (context_ == nullptr) {
        if (ca_context_create(&context_) != CA_SUCCESS) {
            context_ = nullptr;
            return;
        }
        ca_context_change_props(context_, CA_PROP_APPLICATION_NAME, "Cadrix", CA_PROP_APPLICATION_ID,
                                "org.zephyrtone.Cadrix", CA_PROP_APPLICATION_ICON_NAME, "cadrix", nullptr);
    }
    int result = ca_context_play(context_, 1, CA_PROP_EVENT_ID, "complete", CA_PROP_EVENT_DESCRIPTION,
                                 "Audio extraction finished", nullptr);
    if (result == CA_ERROR_NOTFOUND) {
        ca_context_play(context_, 1, CA_PROP_EVENT_ID, "bell", CA_PROP_EVENT_DESCRIPTION, "Audio extraction finished",
                        nullptr);
    }
}

bool AlertSound::IsPlaying() {
    if (context_ == nullptr) return false;
    int playing = 0;
    if (ca_context_playing(context_, 1, &playing) != CA_SUCCESS) return false;
    return playing != 0;
}

}  // namespace cadrix
