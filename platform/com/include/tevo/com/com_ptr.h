// ComPtr<T>: an owning COM interface pointer, so that no code path forgets a Release.
//
//   ComPtr<IErrorInfo> info;
//   GetErrorInfo(0, &info);               // & releases what it held, hands out T**
//   ComPtr<ISupportErrorInfo> sei = obj.As<ISupportErrorInfo>();
//   HRESULT hr = obj.As(&sei);            // the same, with the QueryInterface result
//   return info.CopyTo(ppOut);            // AddRef'ed copy for an out parameter
#pragma once

#include <cstddef>
#include <memory>
#include <utility>

#include "tevo/com/unknown.h"
#include "tevo/win/types.h"
#include "tevo/win/winerror.h"

namespace tevo::com {

template <class T>
class ComPtr {
  public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}  // NOLINT(google-explicit-constructor)
    // Shares p: takes a reference of its own (use Attach to adopt one).
    explicit ComPtr(T* p) : ptr_(p) { AddRefHeld(); }
    ComPtr(const ComPtr& other) : ptr_(other.ptr_) { AddRefHeld(); }
    ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
    ~ComPtr() { Reset(); }

    ComPtr& operator=(const ComPtr& other) {
        if (this != std::addressof(other)) {
            ComPtr copy(other);
            Swap(copy);
        }
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != std::addressof(other)) {
            Reset();
            ptr_ = std::exchange(other.ptr_, nullptr);
        }
        return *this;
    }
    ComPtr& operator=(std::nullptr_t) {
        Reset();
        return *this;
    }

    T* Get() const { return ptr_; }
    T* operator->() const { return ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }

    // Releases the held reference and leaves the pointer empty.
    void Reset() {
        if (T* old = std::exchange(ptr_, nullptr)) {
            old->Release();
        }
    }
    // Adopts a reference the caller owns (no AddRef); releases the one held before.
    void Attach(T* p) {
        T* old = std::exchange(ptr_, p);
        if (old != nullptr) {
            old->Release();
        }
    }
    // Gives up the held reference to the caller without releasing it.
    T* Detach() { return std::exchange(ptr_, nullptr); }
    void Swap(ComPtr& other) noexcept { std::swap(ptr_, other.ptr_); }

    // For out parameters: releases what is held and returns the address to fill in.
    T** operator&() {  // NOLINT(google-runtime-operator)
        Reset();
        return &ptr_;
    }
    T** ReleaseAndGetAddressOf() { return &*this; }
    void** ReleaseAndGetVoidAddressOf() { return reinterpret_cast<void**>(&*this); }

    // Hands an AddRef'ed copy to an out parameter: E_POINTER for a null out pointer.
    HRESULT CopyTo(T** out) const {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = ptr_;
        AddRefHeld();
        return S_OK;
    }

    // QueryInterface for U into *out; pass &other for a ComPtr<U> other, which releases
    // what it held first.
    template <class U>
    HRESULT As(U** out) const {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = nullptr;
        if (ptr_ == nullptr) {
            return E_POINTER;
        }
        return ptr_->QueryInterface(InterfaceIid<U>::value, reinterpret_cast<void**>(out));
    }
    // QueryInterface for U; empty when the object does not have it.
    template <class U>
    ComPtr<U> As() const {
        ComPtr<U> result;
        As(&result);
        return result;
    }

    friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.ptr_ == b.ptr_; }
    friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.ptr_ == nullptr; }

  private:
    void AddRefHeld() const {
        if (ptr_ != nullptr) {
            ptr_->AddRef();
        }
    }

    T* ptr_ = nullptr;
};

}  // namespace tevo::com
