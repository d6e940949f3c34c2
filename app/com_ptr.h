// ComPtr: owns one reference to a COM interface and releases it when it goes.
#pragma once

#include <unknwn.h>

#include <utility>

namespace quorvane {

template <typename Interface>
class ComPtr {
public:
    ComPtr() = default;
    // Takes over a reference the caller already holds.
    static ComPtr Adopt(Interface* pointer) {
        ComPtr owner;
        owner.pointer_ = pointer;
        return owner;
    }
    ComPtr(const ComPtr& other) : pointer_(other.pointer_) {
        if (pointer_) pointer_->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(pointer_, other.pointer_);
        return *this;
    }
    ~ComPtr() { Reset(); }

    void Reset() {
        if (Interface* old = std::exchange(pointer_, nullptr)) old->Release();
    }
    Interface* Get() const { return pointer_; }
    Interface* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }

    // Releases what is held and returns the slot for a call that hands out a reference.
    Interface** Put() {
        Reset();
        return &pointer_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

    // Asks the held object for another interface; empty when it has none.
    template <typename Other>
    ComPtr<Other> As(const IID& iid) const {
        ComPtr<Other> other;
        if (pointer_) pointer_->QueryInterface(iid, other.PutVoid());
        return other;
    }

private:
    Interface* pointer_ = nullptr;
};

}  // namespace quorvane
