// The base of every object of the configuration server: reference counting, QueryInterface
// over one interface chain, ISupportErrorInfo, and the process-wide lock that guards the
// state of all objects (the classes have threading model Both: any thread may call any
// object at any time).
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>

#include "tevo/IviConfigServer.h"
#include "tevo/com/com_ptr.h"
#include "tevo/com/errorinfo.h"
#include "tevo/com/holders.h"

#include "stored_text.h"

namespace tevo::ivi::config {

// One lock for all the server's state. Calls are short and never wait for anything else
// while holding it, so one lock keeps cross-object rules (references, collections) simple.
std::recursive_mutex& StateMutex();
using StateLock = std::lock_guard<std::recursive_mutex>;

// Live objects of the library (DllCanUnloadNow).
std::atomic<long>& LiveObjects();

// Not an interface: QueryInterface with this identifier hands out the object's ObjectBase
// (with a reference), so that the server can tell its own objects from foreign ones.
inline constexpr IID IID_ConfigObjectImpl = {
    0x6E0B4F4A, 0x0C41, 0x4D55, {0x9B, 0x3E, 0x2D, 0x61, 0x7A, 0x10, 0x44, 0x01}};

class ObjectBase {
  public:
    ObjectBase() { ++LiveObjects(); }
    virtual ~ObjectBase() { --LiveObjects(); }
    ObjectBase(const ObjectBase&) = delete;
    ObjectBase& operator=(const ObjectBase&) = delete;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
};

template <class Primary>
class ComObject : public Primary, public ISupportErrorInfo, public ObjectBase {
  public:
    using PrimaryInterface = Primary;

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || Implements(riid)) {
            *ppv = static_cast<Primary*>(this);
        } else if (riid == IID_ISupportErrorInfo) {
            *ppv = static_cast<ISupportErrorInfo*>(this);
        } else if (riid == IID_ConfigObjectImpl) {
            *ppv = static_cast<ObjectBase*>(this);
        } else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    HRESULT InterfaceSupportsErrorInfo(REFIID /*riid*/) override { return S_OK; }

  protected:
    // Whether the object answers to riid (IUnknown aside); all those interfaces share the
    // primary interface's vtable, as each derives from the one before.
    virtual bool Implements(REFIID riid) const = 0;

  private:
    std::atomic<ULONG> references_{1};
};

// The server's own implementation object behind an interface pointer, or null for a null
// pointer or a foreign object.
template <class T>
tevo::com::ComPtr<T> ImplOf(IUnknown* object) {
    tevo::com::ComPtr<T> result;
    if (object == nullptr) {
        return result;
    }
    void* raw = nullptr;
    if (FAILED(object->QueryInterface(IID_ConfigObjectImpl, &raw)) || raw == nullptr) {
        return result;
    }
    auto* base = static_cast<ObjectBase*>(raw);
    if (T* impl = dynamic_cast<T*>(base)) {
        result.Attach(impl);
    } else {
        base->Release();
    }
    return result;
}

// Creates a new object with one reference held by the returned pointer.
template <class T, class... Args>
tevo::com::ComPtr<T> MakeObject(Args&&... args) {
    tevo::com::ComPtr<T> result;
    result.Attach(new T(std::forward<Args>(args)...));
    return result;
}

// ---- Error reporting ----

// IVI-3.2 Invalid Value: a property value the server cannot take.
inline constexpr HRESULT kInvalidValue = static_cast<HRESULT>(0x80047010u);

// Sets the thread's error info to "IviConfigServer.IviConfigStore.1: <text>" and returns hr.
HRESULT Fail(HRESULT hr, std::wstring_view text);
// "<operation> failed. <detail>"
HRESULT FailOperation(HRESULT hr, std::wstring_view operation, std::wstring_view detail);
// Clears the thread's error info and returns S_OK.
HRESULT Succeed();

// ---- Property helpers (each takes the state lock) ----

HRESULT GetString(const std::wstring& field, BSTR* out);
// Refuses (Invalid Value, with error info naming `property`) text the store cannot hold as
// `kind`, leaving the field as it was.
HRESULT SetString(std::wstring& field, BSTR value, std::string_view property, TextKind kind);
HRESULT GetBool(const bool& field, VARIANT_BOOL* out);
HRESULT SetBool(bool& field, VARIANT_BOOL value);
HRESULT GetLong(const LONG& field, LONG* out);
HRESULT SetLong(LONG& field, LONG value);
template <class Itf, class Impl>
HRESULT GetObjectRef(const tevo::com::ComPtr<Impl>& field, Itf** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    const StateLock lock(StateMutex());
    *out = field.Get();
    if (*out != nullptr) {
        (*out)->AddRef();
    }
    return S_OK;
}

inline std::wstring ToWide(BSTR value) {
    return std::wstring(tevo::com::BstrView(value));
}

}  // namespace tevo::ivi::config

#define TEVO_CONFIG_TEXT_PROPERTY(Name, field, kind)                       \
    HRESULT get_##Name(BSTR* pVal) override {                              \
        return ::tevo::ivi::config::GetString(field, pVal);                \
    }                                                                      \
    HRESULT put_##Name(BSTR newVal) override {                             \
        return ::tevo::ivi::config::SetString(field, newVal, #Name, kind); \
    }
// A text property: descriptions, values, paths.
#define TEVO_CONFIG_STRING_PROPERTY(Name, field) \
    TEVO_CONFIG_TEXT_PROPERTY(Name, field, ::tevo::ivi::config::TextKind::kFreeText)
// A name or other key: no control characters.
#define TEVO_CONFIG_NAME_PROPERTY(Name, field) \
    TEVO_CONFIG_TEXT_PROPERTY(Name, field, ::tevo::ivi::config::TextKind::kName)
#define TEVO_CONFIG_BOOL_PROPERTY(Name, field)              \
    HRESULT get_##Name(VARIANT_BOOL* pVal) override {       \
        return ::tevo::ivi::config::GetBool(field, pVal);   \
    }                                                       \
    HRESULT put_##Name(VARIANT_BOOL newVal) override {      \
        return ::tevo::ivi::config::SetBool(field, newVal); \
    }
#define TEVO_CONFIG_LONG_PROPERTY(Name, field)              \
    HRESULT get_##Name(LONG* pVal) override {               \
        return ::tevo::ivi::config::GetLong(field, pVal);   \
    }                                                       \
    HRESULT put_##Name(LONG newVal) override {              \
        return ::tevo::ivi::config::SetLong(field, newVal); \
    }
