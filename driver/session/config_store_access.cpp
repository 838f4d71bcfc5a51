#include "session/config_store_access.h"

#include <functional>

#include "tevo/com/holders.h"

namespace tevo::driver {

namespace {

using tevo::com::Bstr;
using tevo::com::ComPtr;

// Calls `visit` with each virtual name of the session (name, mapped physical name) in
// collection order until it returns true.
void ForEachVirtualName(
    IIviDriverSession* session,
    const std::function<bool(const std::wstring&, const std::wstring&)>& visit) {
    if (session == nullptr) {
        return;
    }
    ComPtr<IIviVirtualNameCollection> names;
    LONG count = 0;
    if (FAILED(session->get_VirtualNames(&names)) || !names || FAILED(names->get_Count(&count))) {
        return;
    }
    for (LONG position = 1; position <= count; ++position) {
        VARIANT index;
        VariantInit(&index);
        index.vt = VT_I4;
        index.lVal = position;
        ComPtr<IIviVirtualName> entry;
        if (FAILED(names->get_Item(index, &entry)) || !entry) {
            continue;
        }
        Bstr name;
        Bstr map_to;
        if (FAILED(entry->get_Name(&name)) || FAILED(entry->get_MapTo(&map_to))) {
            continue;
        }
        if (visit(name.ToWide(), map_to.ToWide())) {
            return;
        }
    }
}

}  // namespace

ComPtr<IIviConfigStore> OpenConfigStore() {
    CLSID clsid{};
    if (FAILED(CLSIDFromProgID(L"IviConfigServer.IviConfigStore", &clsid))) {
        return nullptr;
    }
    ComPtr<IIviConfigStore> store;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IIviConfigStore,
                                reinterpret_cast<void**>(&store))) ||
        !store) {
        return nullptr;
    }
    Bstr location(L"");
    if (FAILED(store->get_MasterLocation(&location)) ||
        FAILED(store->Deserialize(location.Get()))) {
        return nullptr;
    }
    return store;
}

ComPtr<IIviDriverSession> FindDriverSession(IIviConfigStore* store, BSTR name) {
    ComPtr<IIviDriverSession> session;
    if (store == nullptr || FAILED(store->GetDriverSession(name, &session))) {
        return nullptr;
    }
    return session;
}

std::wstring PhysicalNameOf(IIviDriverSession* session, const std::wstring& requested) {
    std::wstring physical = requested;
    ForEachVirtualName(session, [&](const std::wstring& name, const std::wstring& map_to) {
        if (name != requested) {
            return false;
        }
        physical = map_to;
        return true;
    });
    return physical;
}

std::wstring VirtualNameOf(IIviDriverSession* session, const std::wstring& physical) {
    std::wstring virtual_name = physical;
    ForEachVirtualName(session, [&](const std::wstring& name, const std::wstring& map_to) {
        if (map_to != physical) {
            return false;
        }
        virtual_name = name;
        return true;
    });
    return virtual_name;
}

}  // namespace tevo::driver
