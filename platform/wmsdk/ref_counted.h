// Reference counting shared by the writer's objects.
#ifndef CADRIX_WMSDK_REF_COUNTED_H
#define CADRIX_WMSDK_REF_COUNTED_H

#include <atomic>
#include <new>
#include <utility>

#include "wmsdk.h"

namespace wmsdk {

// Implements IUnknown for an object exposing one interface. Samples are
// released on the encoding thread, so the count is atomic.
template <class Derived, class Interface>
class RefCounted : public Interface {
public:
    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == Derived::kInterfaceId) {
            AddRef();
            *object = static_cast<Interface*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG Release() override {
        const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) delete static_cast<Derived*>(this);
        return left;
    }
    ULONG RefCount() const { return refs_.load(std::memory_order_acquire); }

protected:
    RefCounted() = default;
    ~RefCounted() = default;

private:
    std::atomic<ULONG> refs_{1};
};

// Creates an object with one reference owned by the caller, or null when out of memory.
template <class T, class... Args>
T* MakeObject(Args&&... args) {
    return new (std::nothrow) T(std::forward<Args>(args)...);
}

}  // namespace wmsdk

#endif
