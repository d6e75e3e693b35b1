// Owner of one counted reference to a COM-style object.
#ifndef CADRIX_COM_PTR_H
#define CADRIX_COM_PTR_H

#include <utility>

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes over a reference the caller already owns.
    static ComPtr Attach(T* object) {
        ComPtr p;
        p.object_ = object;
        return p;
    }
    ComPtr(const ComPtr& other) : object_(other.object_) {
        if (object_) object_->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(object_, other.object_);
        return *this;
    }
    ~ComPtr() { Reset(); }

    void Reset() {
        if (T* old = std::exchange(object_, nullptr)) old->Release();
    }
    // Releases what is held and gives the address for an out-parameter.
    T** Put() {
        Reset();
        return &object_;
    }
    T* Get() const { return object_; }
    T* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

private:
    T* object_ = nullptr;
};

#endif
