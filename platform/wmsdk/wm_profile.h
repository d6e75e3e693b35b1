// Profile objects: a parsed profile and the manager that loads it.
#ifndef CADRIX_WMSDK_WM_PROFILE_H
#define CADRIX_WMSDK_WM_PROFILE_H

#include "audio_profile.h"
#include "ref_counted.h"

namespace wmsdk {

class WmProfile final : public RefCounted<WmProfile, IWMProfile> {
public:
    static constexpr const IID& kInterfaceId = IID_IWMProfile;
    explicit WmProfile(AudioProfile profile) : profile_(std::move(profile)) {}

    HRESULT GetName(WCHAR* name, DWORD* length) override;
    HRESULT GetStreamCount(DWORD* count) override;

    const AudioProfile& Profile() const { return profile_; }

private:
    AudioProfile profile_;
};

class WmProfileManager final : public RefCounted<WmProfileManager, IWMProfileManager> {
public:
    static constexpr const IID& kInterfaceId = IID_IWMProfileManager;
    HRESULT LoadProfileByData(LPCWSTR profile, IWMProfile** result) override;
};

}  // namespace wmsdk

#endif
