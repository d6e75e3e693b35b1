// Fuzzes profile loading. The first byte picks the path: even = the XML
// parser on the bytes, odd = LoadProfileByData on the bytes as UTF-16 units.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "audio_profile.h"
#include "com_ptr.h"
#include "wmsdk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const bool wide = data[0] & 1;
    ++data;
    --size;
    if (!wide) {
        const auto profile = wmsdk::ParseAudioProfile(std::string_view(reinterpret_cast<const char*>(data), size));
        if (profile && profile->name.size() > 1 << 16) __builtin_trap();
        return 0;
    }
    std::vector<WCHAR> text(size / 2 + 1, 0);
    for (size_t i = 0; i + 1 < size; i += 2) text[i / 2] = static_cast<WCHAR>(data[i] | (data[i + 1] << 8));
    ComPtr<IWMProfileManager> manager;
    if (FAILED(WMCreateProfileManager(manager.Put()))) return 0;
    ComPtr<IWMProfile> profile;
    if (SUCCEEDED(manager->LoadProfileByData(text.data(), profile.Put()))) {
        DWORD length = 0;
        profile->GetName(nullptr, &length);
        std::vector<WCHAR> name(length);
        profile->GetName(name.data(), &length);
    }
    return 0;
}
