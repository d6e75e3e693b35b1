// The content of a one-stream audio profile in the XML profile format.
#ifndef CADRIX_WMSDK_AUDIO_PROFILE_H
#define CADRIX_WMSDK_AUDIO_PROFILE_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "wmsdk.h"

namespace wmsdk {

struct AudioProfile {
    uint32_t version = 0;
    std::string name;
    std::string description;
    uint16_t streamNumber = 0;
    uint32_t bitrate = 0;
    int32_t bufferWindow = -1;
    bool vbrEnabled = false;
    uint32_t vbrQuality = 0;
    GUID subtype{};
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    std::vector<uint8_t> codecData;
};

// Format tags the profiles name.
constexpr uint16_t WAVE_FORMAT_WMAUDIO2 = 0x0161;          // WMA Standard
constexpr uint16_t WAVE_FORMAT_WMAUDIO_LOSSLESS = 0x0163;  // WMA Lossless

// Parses a profile (UTF-8 XML). nullopt when it is not well-formed, has a
// DOCTYPE, is not exactly one audio stream of the expected element shape, or
// carries a missing or out-of-range value.
std::optional<AudioProfile> ParseAudioProfile(std::string_view xml);

}  // namespace wmsdk

#endif
