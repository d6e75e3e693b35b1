// The writer's sample buffers.
#ifndef CADRIX_WMSDK_NSS_BUFFER_H
#define CADRIX_WMSDK_NSS_BUFFER_H

#include <memory>

#include "ref_counted.h"

namespace wmsdk {

class NssBuffer final : public RefCounted<NssBuffer, INSSBuffer> {
public:
    static constexpr const IID& kInterfaceId = IID_INSSBuffer;

    // nullptr when the data area cannot be allocated.
    static NssBuffer* Create(DWORD capacity);

    HRESULT GetLength(DWORD* length) override;
    HRESULT SetLength(DWORD length) override;
    HRESULT GetMaxLength(DWORD* length) override;
    HRESULT GetBuffer(BYTE** buffer) override;
    HRESULT GetBufferAndLength(BYTE** buffer, DWORD* length) override;

    // Hands the buffer out again for a sample of `length` bytes (<= capacity).
    void Reuse(DWORD length) { length_ = length; }
    DWORD Capacity() const { return capacity_; }
    const BYTE* Data() const { return data_.get(); }
    DWORD Length() const { return length_; }

private:
    NssBuffer(std::unique_ptr<BYTE[]> data, DWORD capacity)
        : data_(std::move(data)), capacity_(capacity), length_(capacity) {}

    std::unique_ptr<BYTE[]> data_;
    DWORD capacity_;
    DWORD length_;
};

}  // namespace wmsdk

#endif
