#include "wm_profile.h"

#include "utf16.h"

namespace wmsdk {

HRESULT WmProfile::GetName(WCHAR* name, DWORD* length) {
    if (!length) return E_POINTER;
    // Profile names are ASCII by the time they are parsed from a checked profile,
    // other bytes are passed on as their own values.
    const DWORD needed = static_cast<DWORD>(profile_.name.size() + 1);
    if (!name) {
        *length = needed;
        return S_OK;
    }
    if (*length < needed) {
        *length = needed;
        return E_INVALIDARG;
    }
    for (size_t i = 0; i < profile_.name.size(); ++i) name[i] = static_cast<unsigned char>(profile_.name[i]);
    name[profile_.name.size()] = 0;
    *length = needed;
    return S_OK;
}

HRESULT WmProfile::GetStreamCount(DWORD* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT WmProfileManager::LoadProfileByData(LPCWSTR profile, IWMProfile** result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    if (!profile) return E_POINTER;
    constexpr size_t kMaxUnits = 64 * 1024;
    const auto length = BoundedLength(profile, kMaxUnits);
    if (!length) return E_INVALIDARG;
    const auto utf8 = Utf16ToUtf8(std::u16string_view(profile, *length));
    if (!utf8) return E_INVALIDARG;
    auto parsed = ParseAudioProfile(*utf8);
    if (!parsed) return E_INVALIDARG;
    WmProfile* object = MakeObject<WmProfile>(std::move(*parsed));
    if (!object) return E_OUTOFMEMORY;
    *result = object;
    return S_OK;
}

}  // namespace wmsdk

HRESULT WMCreateProfileManager(IWMProfileManager** manager) {
    if (!manager) return E_POINTER;
    *manager = wmsdk::MakeObject<wmsdk::WmProfileManager>();
    return *manager ? S_OK : E_OUTOFMEMORY;
}
