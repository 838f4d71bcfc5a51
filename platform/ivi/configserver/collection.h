// The 1-based collections of the configuration server. Items are looked up by name (a BSTR
// index, compared case-sensitively) or by position (an integer index). A collection can
// have an owner that vets and follows additions and removals: the store does so for its
// global collections (references, driver sessions listed twice, Reference Still Exists).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "config_object.h"
#include "tevo/com/enumvariant.h"

namespace tevo::ivi::config {

class CollectionOwner {
  public:
    virtual HRESULT BeforeAdd(IUnknown* collection, IUnknown* item) = 0;
    virtual void AfterAdd(IUnknown* collection, IUnknown* item) = 0;
    virtual HRESULT BeforeRemove(IUnknown* collection, IUnknown* item) = 0;
    virtual void AfterRemove(IUnknown* collection, IUnknown* item) = 0;

  protected:
    ~CollectionOwner() = default;
};

// What an integer or name index designates: a position (0-based) or a name.
struct CollectionIndex {
    std::optional<std::size_t> position;  // set for an integer index inside 1..count
    std::optional<std::wstring> name;     // set for a BSTR index
};
// Reads an index VARIANT: any integer type (also by reference, or a real with an integral
// value) is a 1-based position; a BSTR is a name. A position outside 1..count gives
// E_IVICONFIG_NOT_EXIST, another type DISP_E_TYPEMISMATCH, each with error info.
HRESULT ReadIndex(const VARIANT& index, std::size_t count, std::wstring_view operation,
                  CollectionIndex* result);

// The name of an item, read through its interface (every item interface has get_Name).
template <class ItemItf>
std::wstring NameOf(ItemItf* item) {
    tevo::com::Bstr name;
    if (item == nullptr || FAILED(item->get_Name(&name))) {
        return {};
    }
    return name.ToWide();
}

// An IEnumVARIANT over a snapshot of the items (VT_UNKNOWN values holding the item
// interfaces), returned as its IUnknown. The caller holds the state lock.
template <class ItemItf>
HRESULT EnumerateItems(const std::vector<tevo::com::ComPtr<ItemItf>>& items, IUnknown** pVal) {
    if (pVal == nullptr) {
        return E_POINTER;
    }
    *pVal = nullptr;
    std::vector<VARIANT> values(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        VariantInit(&values[i]);
        values[i].vt = VT_UNKNOWN;
        values[i].punkVal = items[i].Get();  // borrowed: the enumerator takes its own copy
    }
    IEnumVARIANT* enumerator = nullptr;
    const HRESULT hr = tevo::com::CreateVariantEnumerator(
        values.data(), static_cast<ULONG>(values.size()), &enumerator);
    *pVal = enumerator;
    return hr;
}

enum class EmptyNames { kRejected, kAllowed };

template <class CollItf, class ItemItf>
class Collection : public ComObject<CollItf> {
  public:
    // iid: the collection's interface; item_iid: the interface of its items; failure: the
    // error of an item without a name or with the name of another item.
    Collection(const IID& iid, const IID& item_iid, EmptyNames empty_names,
               HRESULT invalid_item = E_INVALIDARG)
        : iid_(iid), item_iid_(item_iid), empty_names_(empty_names), invalid_item_(invalid_item) {}

    // ---- The interface ----
    HRESULT get_Count(LONG* pVal) override {
        if (pVal == nullptr) {
            return E_POINTER;
        }
        const StateLock lock(StateMutex());
        *pVal = static_cast<LONG>(items_.size());
        return S_OK;
    }

    HRESULT get_Item(VARIANT Index, ItemItf** pVal) override {
        if (pVal == nullptr) {
            return E_POINTER;
        }
        *pVal = nullptr;
        const StateLock lock(StateMutex());
        std::size_t position = 0;
        const HRESULT hr = Locate(Index, L"Item", &position);
        if (FAILED(hr)) {
            return hr;
        }
        return items_[position].CopyTo(pVal);
    }

    HRESULT Add(ItemItf* Item) override {
        if (Item == nullptr) {
            return E_POINTER;
        }
        const StateLock lock(StateMutex());
        if (!ImplOf<ObjectBase>(Item)) {
            return FailOperation(E_INVALIDARG, L"Add",
                                 L"The item is not an object of this server.");
        }
        const std::wstring name = NameOf(Item);
        if (empty_names_ == EmptyNames::kRejected && IsBlank(name)) {
            return FailOperation(invalid_item_, L"Add", L"The item has no name.");
        }
        for (const auto& existing : items_) {
            if (existing.Get() == Item || (!name.empty() && NameOf(existing.Get()) == name)) {
                return FailOperation(E_IVICONFIG_ALREADY_EXIST, L"Add",
                                     L"The name '" + name + L"' already exists in the collection.");
            }
        }
        if (owner_ != nullptr) {
            const HRESULT hr = owner_->BeforeAdd(static_cast<CollItf*>(this), Item);
            if (FAILED(hr)) {
                return hr;
            }
        }
        items_.emplace_back(Item);
        if (owner_ != nullptr) {
            owner_->AfterAdd(static_cast<CollItf*>(this), Item);
        }
        return Succeed();
    }

    HRESULT Remove(VARIANT Index) override {
        const StateLock lock(StateMutex());
        std::size_t position = 0;
        const HRESULT hr = Locate(Index, L"Remove", &position);
        if (FAILED(hr)) {
            return hr;
        }
        return RemoveAt(position);
    }

    HRESULT get__NewEnum(IUnknown** pVal) override {
        const StateLock lock(StateMutex());
        return EnumerateItems(items_, pVal);
    }

    // ---- For the server (callers hold the state lock) ----
    std::vector<tevo::com::ComPtr<ItemItf>>& Items() { return items_; }
    void SetOwner(CollectionOwner* owner) { owner_ = owner; }

    // The item of that name, or null.
    tevo::com::ComPtr<ItemItf> Find(std::wstring_view name) const {
        for (const auto& item : items_) {
            if (NameOf(item.Get()) == name) {
                return item;
            }
        }
        return {};
    }
    bool Contains(IUnknown* item) const {
        for (const auto& existing : items_) {
            if (static_cast<IUnknown*>(existing.Get()) == item) {
                return true;
            }
        }
        return false;
    }
    // Adds without the owner's checks (the owner itself, or a loader that checked already).
    void Append(ItemItf* item) { items_.emplace_back(item); }
    // Removes without the owner's checks; false when the item is not there.
    bool Erase(IUnknown* item) {
        for (auto it = items_.begin(); it != items_.end(); ++it) {
            if (static_cast<IUnknown*>(it->Get()) == item) {
                items_.erase(it);
                return true;
            }
        }
        return false;
    }

    HRESULT RemoveAt(std::size_t position) {
        const tevo::com::ComPtr<ItemItf> item = items_[position];
        if (owner_ != nullptr) {
            const HRESULT hr = owner_->BeforeRemove(static_cast<CollItf*>(this), item.Get());
            if (FAILED(hr)) {
                return hr;
            }
        }
        Erase(item.Get());
        if (owner_ != nullptr) {
            owner_->AfterRemove(static_cast<CollItf*>(this), item.Get());
        }
        return Succeed();
    }

  protected:
    bool Implements(REFIID riid) const override { return riid == iid_; }

  private:
    static bool IsBlank(const std::wstring& text) {
        return text.find_first_not_of(L" \t\r\n") == std::wstring::npos;
    }

    HRESULT Locate(const VARIANT& index, std::wstring_view operation, std::size_t* position) {
        CollectionIndex found;
        const HRESULT hr = ReadIndex(index, items_.size(), operation, &found);
        if (FAILED(hr)) {
            return hr;
        }
        if (found.position) {
            *position = *found.position;
            return S_OK;
        }
        for (std::size_t i = 0; i < items_.size(); ++i) {
            if (NameOf(items_[i].Get()) == *found.name) {
                *position = i;
                return S_OK;
            }
        }
        return FailOperation(E_IVICONFIG_NOT_EXIST, operation,
                             L"The name '" + *found.name + L"' does not exist in the collection.");
    }

    IID iid_;
    IID item_iid_;
    EmptyNames empty_names_;
    HRESULT invalid_item_;
    std::vector<tevo::com::ComPtr<ItemItf>> items_;
    CollectionOwner* owner_ = nullptr;
};

// The published-API collections: the key is (Name, MajorVersion, MinorVersion, Type).
class PublishedApiCollection : public ComObject<IIviPublishedAPICollection> {
  public:
    HRESULT get_Count(LONG* pVal) override;
    HRESULT get_Item(VARIANT Index, LONG MajorVersion, LONG MinorVersion, BSTR Type,
                     IIviPublishedAPI** pVal) override;
    HRESULT Add(IIviPublishedAPI* Item) override;
    HRESULT Remove(VARIANT Index, LONG MajorVersion, LONG MinorVersion, BSTR Type,
                   IIviPublishedAPI** pVal) override;
    HRESULT get__NewEnum(IUnknown** pVal) override {
        const StateLock lock(StateMutex());
        return EnumerateItems(items_, pVal);
    }

    std::vector<tevo::com::ComPtr<IIviPublishedAPI>>& Items() { return items_; }
    void SetOwner(CollectionOwner* owner) { owner_ = owner; }
    tevo::com::ComPtr<IIviPublishedAPI> Find(std::wstring_view name, LONG major, LONG minor,
                                             std::wstring_view type) const;
    bool Contains(IUnknown* item) const;
    void Append(IIviPublishedAPI* item) { items_.emplace_back(item); }

  protected:
    bool Implements(REFIID riid) const override { return riid == IID_IIviPublishedAPICollection; }

  private:
    HRESULT Locate(const VARIANT& index, LONG major, LONG minor, BSTR type,
                   std::wstring_view operation, std::size_t* position);

    std::vector<tevo::com::ComPtr<IIviPublishedAPI>> items_;
    CollectionOwner* owner_ = nullptr;
};

}  // namespace tevo::ivi::config
