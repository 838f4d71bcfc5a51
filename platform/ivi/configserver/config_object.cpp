// The lock, the object count, error info and the property helpers shared by all objects.
#include "config_object.h"

#include <string>

namespace tevo::ivi::config {

std::recursive_mutex& StateMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

std::atomic<long>& LiveObjects() {
    static std::atomic<long> count{0};
    return count;
}

namespace {
constexpr wchar_t kErrorSource[] = L"IviConfigServer.IviConfigStore.1";
}

HRESULT Fail(HRESULT hr, std::wstring_view text) {
    tevo::com::ComPtr<ICreateErrorInfo> create;
    if (SUCCEEDED(CreateErrorInfo(&create))) {
        std::wstring description = std::wstring(kErrorSource) + L": ";
        description += text;
        create->SetSource(const_cast<LPOLESTR>(kErrorSource));
        create->SetDescription(description.data());
        create->SetGUID(IID_IIviConfigStore);
        tevo::com::ComPtr<IErrorInfo> info;
        if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, info.ReleaseAndGetVoidAddressOf()))) {
            SetErrorInfo(0, info.Get());
        }
    }
    return hr;
}

HRESULT FailOperation(HRESULT hr, std::wstring_view operation, std::wstring_view detail) {
    std::wstring text(operation);
    text += L" failed.";
    if (!detail.empty()) {
        text += L' ';
        text += detail;
    }
    return Fail(hr, text);
}

HRESULT Succeed() {
    SetErrorInfo(0, nullptr);
    return S_OK;
}

HRESULT GetString(const std::wstring& field, BSTR* out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    const StateLock lock(StateMutex());
    *out = SysAllocStringLen(field.data(), static_cast<UINT>(field.size()));
    return *out == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT SetString(std::wstring& field, BSTR value, std::string_view property, TextKind kind) {
    std::wstring copy = ToWide(value);
    const std::wstring problem = StoredTextProblem(copy, kind);
    if (!problem.empty()) {
        // Property names are ASCII.
        return Fail(kInvalidValue,
                    std::wstring(property.begin(), property.end()) + L": " + problem + L".");
    }
    const StateLock lock(StateMutex());
    field = std::move(copy);
    return S_OK;
}

HRESULT GetBool(const bool& field, VARIANT_BOOL* out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    const StateLock lock(StateMutex());
    *out = field ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT SetBool(bool& field, VARIANT_BOOL value) {
    const StateLock lock(StateMutex());
    field = value != VARIANT_FALSE;
    return S_OK;
}

HRESULT GetLong(const LONG& field, LONG* out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    const StateLock lock(StateMutex());
    *out = field;
    return S_OK;
}

HRESULT SetLong(LONG& field, LONG value) {
    const StateLock lock(StateMutex());
    field = value;
    return S_OK;
}

}  // namespace tevo::ivi::config
