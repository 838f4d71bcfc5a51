#include "tevo/com/safearray.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "tevo/com/bstr.h"
#include "tevo/com/dispatch.h"
#include "tevo/com/unknown.h"
#include "tevo/com/variant.h"

namespace {

// Bytes before the descriptor: an IID (FADF_HAVEIID) or, in the last 4 bytes, a VARTYPE
// (FADF_HAVEVARTYPE).
constexpr std::size_t kHeader = 16;
constexpr UINT kMaxDims = 65535;
// Arrays larger than this many bytes are refused, so that sizes never overflow.
constexpr std::size_t kMaxDataBytes = std::numeric_limits<std::size_t>::max() / 4;
constexpr USHORT kOwnedElsewhere = FADF_AUTO | FADF_STATIC | FADF_EMBEDDED;
constexpr ULONG kMaxLocks = 65535;
// The features that say what an element is and who owns what it points to.
constexpr USHORT kElementKinds =
    FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_VARIANT | FADF_RECORD;

unsigned char* HeaderOf(SAFEARRAY* psa) {
    return reinterpret_cast<unsigned char*>(psa) - kHeader;
}

std::size_t DescriptorSize(UINT cDims) {
    return sizeof(SAFEARRAY) + (cDims - 1) * sizeof(SAFEARRAYBOUND);
}

// Element size and feature flags for a VARTYPE; false when arrays of vt are not supported.
bool ElementTraits(VARTYPE vt, ULONG* size, USHORT* features) {
    *features = FADF_HAVEVARTYPE;
    switch (vt) {
        case VT_I1:
        case VT_UI1:
            *size = 1;
            return true;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            *size = 2;
            return true;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_R4:
        case VT_ERROR:
            *size = 4;
            return true;
        case VT_I8:
        case VT_UI8:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
            *size = 8;
            return true;
        case VT_DECIMAL:
            *size = sizeof(DECIMAL);
            return true;
        case VT_BSTR:
            *size = sizeof(BSTR);
            *features = FADF_HAVEVARTYPE | FADF_BSTR;
            return true;
        case VT_VARIANT:
            *size = sizeof(VARIANT);
            *features = FADF_HAVEVARTYPE | FADF_VARIANT;
            return true;
        case VT_UNKNOWN:
            *size = sizeof(void*);  // interface pointers
            *features = FADF_HAVEIID | FADF_UNKNOWN;
            return true;
        case VT_DISPATCH:
            *size = sizeof(void*);
            *features = FADF_HAVEIID | FADF_DISPATCH;
            return true;
        default:
            return false;
    }
}

// Stores the element type before the descriptor, as its features say.
void StoreElementType(SAFEARRAY* psa, VARTYPE vt) {
    if ((psa->fFeatures & FADF_HAVEIID) != 0) {
        const IID& iid = vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown;
        std::memcpy(HeaderOf(psa), &iid, sizeof(IID));
    } else if ((psa->fFeatures & FADF_HAVEVARTYPE) != 0) {
        const DWORD stored = vt;
        std::memcpy(HeaderOf(psa) + kHeader - sizeof(DWORD), &stored, sizeof(DWORD));
    }
}

// Total number of elements; false when it overflows or the data would be too large.
bool ElementCount(const SAFEARRAY* psa, std::size_t* count) {
    std::size_t n = 1;
    for (USHORT d = 0; d < psa->cDims; ++d) {
        const std::size_t c = psa->rgsabound[d].cElements;
        if (c != 0 && n > kMaxDataBytes / c) {
            return false;
        }
        n *= c;
    }
    if (psa->cbElements != 0 && n > kMaxDataBytes / psa->cbElements) {
        return false;
    }
    *count = n;
    return true;
}

// Frees what the elements own (BSTRs, interface references, variant contents) and zeroes
// them; the memory itself stays.
// Releases what the elements hold. The memory is zeroed too, unless `zero` is false: memory
// about to be freed needs no clearing (for a large array of numbers that was most of the
// cost of destroying it).
void ReleaseElements(SAFEARRAY* psa, unsigned char* first, std::size_t count, bool zero = true) {
    if (first == nullptr || count == 0) {
        return;
    }
    if ((psa->fFeatures & FADF_BSTR) != 0) {
        auto* items = reinterpret_cast<BSTR*>(first);
        for (std::size_t i = 0; i < count; ++i) {
            SysFreeString(items[i]);
        }
    } else if ((psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) != 0) {
        auto* items = reinterpret_cast<IUnknown**>(first);
        for (std::size_t i = 0; i < count; ++i) {
            if (items[i] != nullptr) {
                items[i]->Release();
            }
        }
    } else if ((psa->fFeatures & FADF_VARIANT) != 0) {
        auto* items = reinterpret_cast<VARIANT*>(first);
        for (std::size_t i = 0; i < count; ++i) {
            VariantClear(&items[i]);
        }
    }
    if (zero) {
        std::memset(first, 0, count * psa->cbElements);
    }
}

// Deep-copies one element from source to target memory; the target is treated as
// uninitialized.
HRESULT CopyElement(USHORT features, ULONG size, const void* source, void* target) {
    if ((features & FADF_BSTR) != 0) {
        BSTR from = *static_cast<const BSTR*>(source);
        BSTR copy = nullptr;
        if (from != nullptr) {
            copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(from), SysStringByteLen(from));
            if (copy == nullptr) {
                return E_OUTOFMEMORY;
            }
        }
        *static_cast<BSTR*>(target) = copy;
        return S_OK;
    }
    if ((features & (FADF_UNKNOWN | FADF_DISPATCH)) != 0) {
        IUnknown* from = *static_cast<IUnknown* const*>(source);
        if (from != nullptr) {
            from->AddRef();
        }
        *static_cast<IUnknown**>(target) = from;
        return S_OK;
    }
    if ((features & FADF_VARIANT) != 0) {
        auto* to = static_cast<VARIANT*>(target);
        VariantInit(to);
        return VariantCopy(to, static_cast<const VARIANT*>(source));
    }
    std::memcpy(target, source, size);
    return S_OK;
}

// Byte offset of the element at rgIndices (first dimension first); DISP_E_BADINDEX when
// an index is outside its bounds.
HRESULT OffsetOf(const SAFEARRAY* psa, const LONG* rgIndices, std::size_t* offset) {
    std::size_t index = 0;
    std::size_t stride = 1;
    for (USHORT d = 0; d < psa->cDims; ++d) {
        // Dimension d + 1 is stored at rgsabound[cDims - 1 - d].
        const SAFEARRAYBOUND& bound = psa->rgsabound[psa->cDims - 1 - d];
        const std::int64_t relative =
            static_cast<std::int64_t>(rgIndices[d]) - static_cast<std::int64_t>(bound.lLbound);
        if (relative < 0 || relative >= static_cast<std::int64_t>(bound.cElements)) {
            return DISP_E_BADINDEX;
        }
        index += static_cast<std::size_t>(relative) * stride;
        stride *= bound.cElements;
    }
    *offset = index * psa->cbElements;
    return S_OK;
}

bool HasAnyFlag(const SAFEARRAY* psa, USHORT flags) {
    return (psa->fFeatures & flags) != 0;
}

std::atomic_ref<ULONG> LockCount(SAFEARRAY* psa) {
    return std::atomic_ref<ULONG>(psa->cLocks);
}

}  // namespace

extern "C" HRESULT SafeArrayAllocDescriptor(UINT cDims, SAFEARRAY** ppsaOut) {
    if (ppsaOut == nullptr) {
        return E_POINTER;
    }
    *ppsaOut = nullptr;
    if (cDims == 0 || cDims > kMaxDims) {
        return E_INVALIDARG;
    }
    void* block = std::calloc(1, kHeader + DescriptorSize(cDims));
    if (block == nullptr) {
        return E_OUTOFMEMORY;
    }
    auto* psa = reinterpret_cast<SAFEARRAY*>(static_cast<unsigned char*>(block) + kHeader);
    psa->cDims = static_cast<USHORT>(cDims);
    *ppsaOut = psa;
    return S_OK;
}

extern "C" HRESULT SafeArrayAllocDescriptorEx(VARTYPE vt, UINT cDims, SAFEARRAY** ppsaOut) {
    ULONG size = 0;
    USHORT features = 0;
    if (!ElementTraits(vt, &size, &features)) {
        if (ppsaOut != nullptr) {
            *ppsaOut = nullptr;
        }
        return E_INVALIDARG;
    }
    HRESULT hr = SafeArrayAllocDescriptor(cDims, ppsaOut);
    if (FAILED(hr)) {
        return hr;
    }
    (*ppsaOut)->cbElements = size;
    (*ppsaOut)->fFeatures = features;
    StoreElementType(*ppsaOut, vt);
    return S_OK;
}

extern "C" HRESULT SafeArrayAllocData(SAFEARRAY* psa) {
    if (psa == nullptr) {
        return E_INVALIDARG;
    }
    std::size_t count = 0;
    if (!ElementCount(psa, &count)) {
        return E_OUTOFMEMORY;
    }
    // At least one byte, so that an empty array still has data to access.
    void* data = std::calloc(count == 0 ? 1 : count, psa->cbElements == 0 ? 1 : psa->cbElements);
    if (data == nullptr) {
        return E_OUTOFMEMORY;
    }
    psa->pvData = data;
    return S_OK;
}

extern "C" SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
    if (rgsabound == nullptr) {
        return nullptr;
    }
    SAFEARRAY* psa = nullptr;
    if (FAILED(SafeArrayAllocDescriptorEx(vt, cDims, &psa))) {
        return nullptr;
    }
    for (UINT d = 0; d < cDims; ++d) {
        psa->rgsabound[cDims - 1 - d] = rgsabound[d];
    }
    if (FAILED(SafeArrayAllocData(psa))) {
        SafeArrayDestroyDescriptor(psa);
        return nullptr;
    }
    return psa;
}

extern "C" SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
    SAFEARRAYBOUND bound{cElements, lLbound};
    return SafeArrayCreate(vt, 1, &bound);
}

extern "C" HRESULT SafeArrayDestroyData(SAFEARRAY* psa) {
    if (psa == nullptr) {
        return E_INVALIDARG;
    }
    if (LockCount(psa).load() != 0) {
        return DISP_E_ARRAYISLOCKED;
    }
    if (psa->pvData == nullptr) {
        return S_OK;
    }
    std::size_t count = 0;
    const bool owned_elsewhere = HasAnyFlag(psa, kOwnedElsewhere);
    if (ElementCount(psa, &count)) {
        // Memory owned elsewhere stays and is left zeroed; the array's own is freed.
        ReleaseElements(psa, static_cast<unsigned char*>(psa->pvData), count, owned_elsewhere);
    }
    if (!owned_elsewhere) {
        std::free(psa->pvData);
        psa->pvData = nullptr;
    }
    return S_OK;
}

extern "C" HRESULT SafeArrayDestroyDescriptor(SAFEARRAY* psa) {
    if (psa == nullptr) {
        return E_INVALIDARG;
    }
    if (LockCount(psa).load() != 0) {
        return DISP_E_ARRAYISLOCKED;
    }
    if (!HasAnyFlag(psa, kOwnedElsewhere)) {
        std::free(HeaderOf(psa));
    }
    return S_OK;
}

extern "C" HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
    if (psa == nullptr) {
        return S_OK;
    }
    HRESULT hr = SafeArrayDestroyData(psa);
    if (FAILED(hr)) {
        return hr;
    }
    return SafeArrayDestroyDescriptor(psa);
}

extern "C" HRESULT SafeArrayLock(SAFEARRAY* psa) {
    if (psa == nullptr) {
        return E_INVALIDARG;
    }
    std::atomic_ref<ULONG> locks = LockCount(psa);
    ULONG current = locks.load();
    do {
        if (current >= kMaxLocks) {
            return E_UNEXPECTED;
        }
    } while (!locks.compare_exchange_weak(current, current + 1));
    return S_OK;
}

extern "C" HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
    if (psa == nullptr) {
        return E_INVALIDARG;
    }
    std::atomic_ref<ULONG> locks = LockCount(psa);
    ULONG current = locks.load();
    do {
        if (current == 0) {
            return E_UNEXPECTED;
        }
    } while (!locks.compare_exchange_weak(current, current - 1));
    return S_OK;
}

extern "C" HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
    if (psa == nullptr || ppvData == nullptr) {
        return E_INVALIDARG;
    }
    HRESULT hr = SafeArrayLock(psa);
    *ppvData = SUCCEEDED(hr) ? psa->pvData : nullptr;
    return hr;
}

extern "C" HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) {
    return SafeArrayUnlock(psa);
}

extern "C" UINT SafeArrayGetDim(SAFEARRAY* psa) {
    return psa == nullptr ? 0 : psa->cDims;
}

extern "C" UINT SafeArrayGetElemsize(SAFEARRAY* psa) {
    return psa == nullptr ? 0 : psa->cbElements;
}

extern "C" HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
    if (psa == nullptr || plLbound == nullptr) {
        return E_INVALIDARG;
    }
    if (nDim == 0 || nDim > psa->cDims) {
        return DISP_E_BADINDEX;
    }
    *plLbound = psa->rgsabound[psa->cDims - nDim].lLbound;
    return S_OK;
}

extern "C" HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
    if (psa == nullptr || plUbound == nullptr) {
        return E_INVALIDARG;
    }
    if (nDim == 0 || nDim > psa->cDims) {
        return DISP_E_BADINDEX;
    }
    const SAFEARRAYBOUND& bound = psa->rgsabound[psa->cDims - nDim];
    // An empty dimension has an upper bound one below its lower bound (wrapping as LONG).
    *plUbound = static_cast<LONG>(static_cast<std::int64_t>(bound.lLbound) +
                                  static_cast<std::int64_t>(bound.cElements) - 1);
    return S_OK;
}

extern "C" HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
    if (psa == nullptr || pvt == nullptr) {
        return E_INVALIDARG;
    }
    if (HasAnyFlag(psa, FADF_RECORD)) {
        *pvt = VT_RECORD;
    } else if (HasAnyFlag(psa, FADF_HAVEIID)) {
        *pvt = HasAnyFlag(psa, FADF_DISPATCH) ? VT_DISPATCH : VT_UNKNOWN;
    } else if (HasAnyFlag(psa, FADF_HAVEVARTYPE)) {
        DWORD stored = 0;
        std::memcpy(&stored, HeaderOf(psa) + kHeader - sizeof(DWORD), sizeof(DWORD));
        *pvt = static_cast<VARTYPE>(stored);
    } else {
        return E_INVALIDARG;
    }
    return S_OK;
}

extern "C" HRESULT SafeArrayGetIID(SAFEARRAY* psa, GUID* pguid) {
    if (psa == nullptr || pguid == nullptr || !HasAnyFlag(psa, FADF_HAVEIID)) {
        return E_INVALIDARG;
    }
    std::memcpy(pguid, HeaderOf(psa), sizeof(GUID));
    return S_OK;
}

extern "C" HRESULT SafeArraySetIID(SAFEARRAY* psa, REFGUID guid) {
    if (psa == nullptr || !HasAnyFlag(psa, FADF_HAVEIID)) {
        return E_INVALIDARG;
    }
    std::memcpy(HeaderOf(psa), &guid, sizeof(GUID));
    return S_OK;
}

extern "C" HRESULT SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* rgIndices, void** ppvData) {
    if (psa == nullptr || rgIndices == nullptr || ppvData == nullptr) {
        return E_INVALIDARG;
    }
    if (psa->pvData == nullptr) {
        return E_UNEXPECTED;
    }
    std::size_t offset = 0;
    HRESULT hr = OffsetOf(psa, rgIndices, &offset);
    if (FAILED(hr)) {
        return hr;
    }
    *ppvData = static_cast<unsigned char*>(psa->pvData) + offset;
    return S_OK;
}

extern "C" HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    if (psa == nullptr || rgIndices == nullptr) {
        return E_INVALIDARG;
    }
    if (HasAnyFlag(psa, FADF_RECORD)) {
        return DISP_E_BADVARTYPE;
    }
    const bool elementIsPointer = HasAnyFlag(psa, FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH);
    if (pv == nullptr && !elementIsPointer) {
        return E_INVALIDARG;
    }
    HRESULT hr = SafeArrayLock(psa);
    if (FAILED(hr)) {
        return hr;
    }
    void* element = nullptr;
    hr = SafeArrayPtrOfIndex(psa, rgIndices, &element);
    if (SUCCEEDED(hr)) {
        if (HasAnyFlag(psa, FADF_VARIANT)) {
            hr = VariantCopy(static_cast<VARIANT*>(element), static_cast<const VARIANT*>(pv));
        } else if (elementIsPointer) {
            // BSTR and interface elements are passed as the pointer itself.
            void* fresh = nullptr;
            hr = CopyElement(psa->fFeatures, psa->cbElements, &pv, &fresh);
            if (SUCCEEDED(hr)) {
                ReleaseElements(psa, static_cast<unsigned char*>(element), 1);
                std::memcpy(element, &fresh, sizeof(void*));
            }
        } else {
            std::memcpy(element, pv, psa->cbElements);
        }
    }
    SafeArrayUnlock(psa);
    return hr;
}

extern "C" HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    if (psa == nullptr || rgIndices == nullptr || pv == nullptr) {
        return E_INVALIDARG;
    }
    if (HasAnyFlag(psa, FADF_RECORD)) {
        return DISP_E_BADVARTYPE;
    }
    HRESULT hr = SafeArrayLock(psa);
    if (FAILED(hr)) {
        return hr;
    }
    void* element = nullptr;
    hr = SafeArrayPtrOfIndex(psa, rgIndices, &element);
    if (SUCCEEDED(hr)) {
        hr = CopyElement(psa->fFeatures, psa->cbElements, element, pv);
    }
    SafeArrayUnlock(psa);
    return hr;
}

extern "C" HRESULT SafeArrayRedim(SAFEARRAY* psa, SAFEARRAYBOUND* psaboundNew) {
    if (psa == nullptr || psaboundNew == nullptr || psa->cDims == 0) {
        return E_INVALIDARG;
    }
    if (LockCount(psa).load() != 0) {
        return DISP_E_ARRAYISLOCKED;
    }
    if (HasAnyFlag(psa, FADF_FIXEDSIZE | kOwnedElsewhere)) {
        return E_INVALIDARG;
    }
    // The last dimension (stored first) varies slowest, so its elements form whole
    // slices at the end of the data.
    std::size_t oldCount = 0;
    if (!ElementCount(psa, &oldCount)) {
        return E_UNEXPECTED;
    }
    SAFEARRAYBOUND oldBound = psa->rgsabound[0];
    psa->rgsabound[0] = *psaboundNew;
    std::size_t newCount = 0;
    if (!ElementCount(psa, &newCount)) {
        psa->rgsabound[0] = oldBound;
        return E_OUTOFMEMORY;
    }
    if (newCount == oldCount) {
        return S_OK;
    }
    auto* data = static_cast<unsigned char*>(psa->pvData);
    const std::size_t size = psa->cbElements;
    if (newCount < oldCount) {
        // Free the dropped elements before the memory shrinks.
        ReleaseElements(psa, data + newCount * size, oldCount - newCount);
    }
    const std::size_t newBytes = newCount * size;
    void* moved = std::realloc(data, newBytes == 0 ? 1 : newBytes);
    if (moved == nullptr) {
        if (newCount < oldCount) {
            // The dropped elements are already released; keep the smaller shape.
            return S_OK;
        }
        psa->rgsabound[0] = oldBound;
        return E_OUTOFMEMORY;
    }
    if (newCount > oldCount) {
        std::memset(static_cast<unsigned char*>(moved) + oldCount * size, 0,
                    (newCount - oldCount) * size);
    }
    psa->pvData = moved;
    return S_OK;
}

extern "C" HRESULT SafeArrayCopyData(SAFEARRAY* psaSource, SAFEARRAY* psaTarget) {
    if (psaSource != nullptr && HasAnyFlag(psaSource, FADF_RECORD)) {
        return DISP_E_BADVARTYPE;
    }
    if (psaSource == nullptr || psaTarget == nullptr || psaSource->cDims != psaTarget->cDims ||
        psaSource->cbElements != psaTarget->cbElements ||
        (psaSource->fFeatures & kElementKinds) != (psaTarget->fFeatures & kElementKinds)) {
        return E_INVALIDARG;
    }
    for (USHORT d = 0; d < psaSource->cDims; ++d) {
        if (psaSource->rgsabound[d].cElements != psaTarget->rgsabound[d].cElements) {
            return E_INVALIDARG;
        }
    }
    std::size_t count = 0;
    if (!ElementCount(psaSource, &count)) {
        return E_UNEXPECTED;
    }
    if (count != 0 && (psaSource->pvData == nullptr || psaTarget->pvData == nullptr)) {
        return E_INVALIDARG;
    }
    if (psaSource == psaTarget) {
        return S_OK;
    }
    auto* target = static_cast<unsigned char*>(psaTarget->pvData);
    const auto* source = static_cast<const unsigned char*>(psaSource->pvData);
    ReleaseElements(psaTarget, target, count);
    const std::size_t size = psaSource->cbElements;
    for (std::size_t i = 0; i < count; ++i) {
        HRESULT hr = CopyElement(psaSource->fFeatures, psaSource->cbElements, source + i * size,
                                 target + i * size);
        if (FAILED(hr)) {
            // Leave no half-owned elements behind.
            ReleaseElements(psaTarget, target, i);
            return hr;
        }
    }
    return S_OK;
}

extern "C" HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
    if (ppsaOut == nullptr) {
        return E_INVALIDARG;
    }
    *ppsaOut = nullptr;
    if (psa == nullptr) {
        return S_OK;
    }
    if (HasAnyFlag(psa, FADF_RECORD)) {
        return DISP_E_BADVARTYPE;
    }
    SAFEARRAY* copy = nullptr;
    HRESULT hr = SafeArrayAllocDescriptor(psa->cDims, &copy);
    if (FAILED(hr)) {
        return hr;
    }
    // Same header (element IID or VARTYPE), shape and element kind; the copy owns its
    // data wherever the original lived.
    std::memcpy(HeaderOf(copy), HeaderOf(psa),
                HasAnyFlag(psa, FADF_HAVEIID | FADF_HAVEVARTYPE) ? kHeader : 0);
    copy->fFeatures = static_cast<USHORT>(psa->fFeatures & ~(kOwnedElsewhere | FADF_RESERVED));
    copy->cbElements = psa->cbElements;
    std::memcpy(copy->rgsabound, psa->rgsabound, psa->cDims * sizeof(SAFEARRAYBOUND));
    if (psa->pvData != nullptr) {
        hr = SafeArrayAllocData(copy);
        if (SUCCEEDED(hr)) {
            hr = SafeArrayCopyData(psa, copy);
        }
        if (FAILED(hr)) {
            SafeArrayDestroy(copy);
            return hr;
        }
    }
    *ppsaOut = copy;
    return S_OK;
}

// The element size and features of arrays made here must match what VARIANT and the
// helpers expect.
static_assert(sizeof(SAFEARRAYBOUND) == 8);
static_assert(offsetof(SAFEARRAY, pvData) == 16);
static_assert(offsetof(SAFEARRAY, rgsabound) == 24);
