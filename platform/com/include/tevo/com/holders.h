// Owning holders for the OLE Automation values: Bstr (a BSTR), SafeArrayHolder (a
// SAFEARRAY), SafeArrayAccess<T> (AccessData/UnaccessData for a scope) and VariantHolder
// (a VARIANT cleared on scope exit). Each frees what it owns exactly once, so error paths
// need no manual clean-up.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "tevo/com/bstr.h"
#include "tevo/com/safearray.h"
#include "tevo/com/variant.h"
#include "tevo/win/text.h"
#include "tevo/win/types.h"
#include "tevo/win/winerror.h"

namespace tevo::com {

// The characters of a BSTR (embedded zeros included); empty for null.
inline std::wstring_view BstrView(BSTR b) {
    return b == nullptr ? std::wstring_view() : std::wstring_view(b, SysStringLen(b));
}
// A BSTR as UTF-8.
inline std::string BstrToUtf8(BSTR b) {
    return tevo::win::WideToUtf8(BstrView(b));
}

// An owned BSTR. A null BSTR is the empty string, as in COM. When an allocation fails the
// holder stays null: code that must tell "out of memory" from "empty" checks Get().
class Bstr {
  public:
    Bstr() = default;
    explicit Bstr(std::wstring_view text)
        : bstr_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    explicit Bstr(const OLECHAR* text) : bstr_(SysAllocString(text)) {}
    static Bstr FromUtf8(std::string_view utf8) { return Bstr(tevo::win::Utf8ToWide(utf8)); }
    // Adopts b (no copy).
    static Bstr Adopt(BSTR b) {
        Bstr result;
        result.bstr_ = b;
        return result;
    }

    Bstr(const Bstr& other) : bstr_(CopyOf(other.bstr_)) {}
    Bstr(Bstr&& other) noexcept : bstr_(std::exchange(other.bstr_, nullptr)) {}
    Bstr& operator=(const Bstr& other) {
        if (this != std::addressof(other)) {
            Attach(CopyOf(other.bstr_));
        }
        return *this;
    }
    Bstr& operator=(Bstr&& other) noexcept {
        if (this != std::addressof(other)) {
            Attach(std::exchange(other.bstr_, nullptr));
        }
        return *this;
    }
    ~Bstr() { SysFreeString(bstr_); }

    BSTR Get() const { return bstr_; }
    UINT Length() const { return SysStringLen(bstr_); }
    bool Empty() const { return Length() == 0; }
    std::wstring_view View() const { return BstrView(bstr_); }
    std::wstring ToWide() const { return std::wstring(View()); }
    std::string ToUtf8() const { return BstrToUtf8(bstr_); }

    // Adopts b, freeing the string held before.
    void Attach(BSTR b) {
        BSTR old = std::exchange(bstr_, b);
        if (old != b) {
            SysFreeString(old);
        }
    }
    // Gives the string to the caller, who then frees it (e.g. an [out] BSTR parameter).
    BSTR Detach() { return std::exchange(bstr_, nullptr); }
    // An independent copy for the caller to own; null when this is null.
    BSTR Copy() const { return CopyOf(bstr_); }
    // For out parameters: frees the string held and returns the address to fill in.
    BSTR* operator&() {  // NOLINT(google-runtime-operator)
        Attach(nullptr);
        return &bstr_;
    }

  private:
    static BSTR CopyOf(BSTR b) {
        return b == nullptr
                   ? nullptr
                   : SysAllocStringByteLen(reinterpret_cast<LPCSTR>(b), SysStringByteLen(b));
    }

    BSTR bstr_ = nullptr;
};

// An owned SAFEARRAY, destroyed on scope exit.
class SafeArrayHolder {
  public:
    SafeArrayHolder() = default;
    explicit SafeArrayHolder(SAFEARRAY* psa) : psa_(psa) {}
    SafeArrayHolder(const SafeArrayHolder&) = delete;
    SafeArrayHolder& operator=(const SafeArrayHolder&) = delete;
    SafeArrayHolder(SafeArrayHolder&& other) noexcept : psa_(std::exchange(other.psa_, nullptr)) {}
    SafeArrayHolder& operator=(SafeArrayHolder&& other) noexcept {
        if (this != std::addressof(other)) {
            Reset(std::exchange(other.psa_, nullptr));
        }
        return *this;
    }
    ~SafeArrayHolder() { Reset(); }

    SAFEARRAY* Get() const { return psa_; }
    explicit operator bool() const { return psa_ != nullptr; }
    // Destroys the held array (if any) and holds psa instead.
    void Reset(SAFEARRAY* psa = nullptr) {
        SAFEARRAY* old = std::exchange(psa_, psa);
        if (old != nullptr && old != psa) {
            SafeArrayDestroy(old);
        }
    }
    SAFEARRAY* Detach() { return std::exchange(psa_, nullptr); }
    SAFEARRAY** operator&() {  // NOLINT(google-runtime-operator)
        Reset();
        return &psa_;
    }

  private:
    SAFEARRAY* psa_ = nullptr;
};

// Direct access to the elements of an array for a scope: SafeArrayAccessData on
// construction, SafeArrayUnaccessData on destruction. Result() tells whether access was
// granted; it is DISP_E_TYPEMISMATCH (and no access is taken) when the array's element
// size is not sizeof(T).
template <class T>
class SafeArrayAccess {
  public:
    explicit SafeArrayAccess(SAFEARRAY* psa) : psa_(psa) {
        if (psa == nullptr) {
            hr_ = E_INVALIDARG;
        } else if (SafeArrayGetElemsize(psa) != sizeof(T)) {
            hr_ = DISP_E_TYPEMISMATCH;
        } else {
            void* data = nullptr;
            hr_ = SafeArrayAccessData(psa, &data);
            if (SUCCEEDED(hr_)) {
                data_ = static_cast<T*>(data);
                count_ = ElementCount(psa);
            }
        }
    }
    SafeArrayAccess(const SafeArrayAccess&) = delete;
    SafeArrayAccess& operator=(const SafeArrayAccess&) = delete;
    ~SafeArrayAccess() {
        if (SUCCEEDED(hr_)) {
            SafeArrayUnaccessData(psa_);
        }
    }

    HRESULT Result() const { return hr_; }
    bool Ok() const { return SUCCEEDED(hr_); }
    T* Data() const { return data_; }
    // Number of elements over all dimensions.
    std::size_t Count() const { return count_; }
    T& operator[](std::size_t i) const { return data_[i]; }
    T* begin() const { return data_; }
    T* end() const { return data_ + count_; }

  private:
    static std::size_t ElementCount(SAFEARRAY* psa) {
        std::size_t count = 1;
        for (USHORT d = 0; d < psa->cDims; ++d) {
            count *= psa->rgsabound[d].cElements;
        }
        return count;
    }

    SAFEARRAY* psa_;
    HRESULT hr_ = E_UNEXPECTED;
    T* data_ = nullptr;
    std::size_t count_ = 0;
};

// A VARIANT that is initialized on construction and cleared on destruction.
class VariantHolder {
  public:
    VariantHolder() { VariantInit(&v_); }
    VariantHolder(const VariantHolder&) = delete;
    VariantHolder& operator=(const VariantHolder&) = delete;
    ~VariantHolder() { VariantClear(&v_); }

    VARIANT* Get() { return &v_; }
    const VARIANT* Get() const { return &v_; }
    VARIANT* operator->() { return &v_; }
    const VARIANT* operator->() const { return &v_; }
    // Clears the value and returns the variant, for out parameters.
    VARIANT* Put() {
        VariantClear(&v_);
        return &v_;
    }
    // Moves the value to *out (which the caller treats as uninitialized) and leaves this
    // holder VT_EMPTY.
    void Detach(VARIANT* out) {
        *out = v_;
        VariantInit(&v_);
    }

  private:
    VARIANT v_;
};

}  // namespace tevo::com
