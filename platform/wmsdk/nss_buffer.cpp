#include "nss_buffer.h"

namespace wmsdk {

NssBuffer* NssBuffer::Create(DWORD capacity) {
    std::unique_ptr<BYTE[]> data(new (std::nothrow) BYTE[capacity == 0 ? 1 : capacity]);
    if (!data) return nullptr;
    return new (std::nothrow) NssBuffer(std::move(data), capacity);
}

HRESULT NssBuffer::GetLength(DWORD* length) {
    if (!length) return E_POINTER;
    *length = length_;
    return S_OK;
}

HRESULT NssBuffer::SetLength(DWORD length) {
    if (length > capacity_) return E_INVALIDARG;
    length_ = length;
    return S_OK;
}

HRESULT NssBuffer::GetMaxLength(DWORD* length) {
    if (!length) return E_POINTER;
    *length = capacity_;
    return S_OK;
}

HRESULT NssBuffer::GetBuffer(BYTE** buffer) {
    if (!buffer) return E_POINTER;
    *buffer = data_.get();
    return S_OK;
}

HRESULT NssBuffer::GetBufferAndLength(BYTE** buffer, DWORD* length) {
    if (!buffer || !length) return E_POINTER;
    *buffer = data_.get();
    *length = length_;
    return S_OK;
}

}  // namespace wmsdk
