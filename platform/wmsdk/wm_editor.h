// The metadata editor: the attributes of a finished ASF file, changed by
// replacing the file as a whole.
#ifndef CADRIX_WMSDK_WM_EDITOR_H
#define CADRIX_WMSDK_WM_EDITOR_H

#include <atomic>
#include <string>

#include "asf_muxer.h"
#include "wmsdk.h"

namespace wmsdk {

class WmEditor final : public IWMMetadataEditor, public IWMHeaderInfo3 {
public:
    WmEditor() = default;

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT Open(LPCWSTR fileName) override;
    HRESULT Close() override;
    HRESULT Flush() override;

    // Only between Open and Close. Values longer than the extended content
    // description holds are refused (E_INVALIDARG): the editor keeps the
    // header extension as it is.
    HRESULT SetAttribute(WORD streamNumber, LPCWSTR name, WMT_ATTR_DATATYPE type, const BYTE* value,
                         WORD length) override;
    HRESULT AddAttribute(WORD streamNumber, LPCWSTR name, WORD* index, WMT_ATTR_DATATYPE type, WORD language,
                         const BYTE* value, DWORD length) override;

private:
    ~WmEditor() = default;

    std::atomic<ULONG> refs_{1};
    bool open_ = false;
    std::string path_;
    AsfMetadata metadata_;
};

}  // namespace wmsdk

#endif
