// Helpers of the object tree's tests: the driver's type library as the build made it, the
// interfaces a coclass lists there, and a driver session against the analyzer emulator with
// the exact messages the emulator received.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "testing/driver_test_support.h"

namespace tevo::driver::testing {

inline ComPtr<ITypeLib> DriverTypeLibrary() {
    const std::filesystem::path tlb =
        std::filesystem::path(TEVO_DRIVER_MODULE).parent_path().parent_path() / "generated" /
        "tevo" / "Tevo.tlb";
    ComPtr<ITypeLib> library;
    EXPECT_EQ(LoadTypeLib(tevo::win::Utf8ToWide(tlb.string()).c_str(), &library), S_OK) << tlb;
    return library;
}

inline std::string TypeName(ITypeInfo* info) {
    Bstr name;
    EXPECT_EQ(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
    return name.ToUtf8();
}

struct ListedInterface {
    std::string name;
    IID iid;
    ComPtr<ITypeInfo> info;
};

// The interfaces that the coclass `clsid` lists in the driver's type library, in order.
inline std::vector<ListedInterface> CoclassInterfaces(REFCLSID clsid) {
    std::vector<ListedInterface> listed;
    ComPtr<ITypeLib> library = DriverTypeLibrary();
    if (!library) {
        return listed;
    }
    ComPtr<ITypeInfo> coclass;
    EXPECT_EQ(library->GetTypeInfoOfGuid(clsid, &coclass), S_OK);
    if (!coclass) {
        return listed;
    }
    TYPEATTR* attributes = nullptr;
    EXPECT_EQ(coclass->GetTypeAttr(&attributes), S_OK);
    if (attributes == nullptr) {
        return listed;
    }
    const UINT count = attributes->cImplTypes;
    coclass->ReleaseTypeAttr(attributes);
    for (UINT index = 0; index < count; ++index) {
        HREFTYPE reference = 0;
        ComPtr<ITypeInfo> info;
        EXPECT_EQ(coclass->GetRefTypeOfImplType(index, &reference), S_OK);
        EXPECT_EQ(coclass->GetRefTypeInfo(reference, &info), S_OK);
        if (!info) {
            continue;
        }
        TYPEATTR* interface_attributes = nullptr;
        EXPECT_EQ(info->GetTypeAttr(&interface_attributes), S_OK);
        if (interface_attributes == nullptr) {
            continue;
        }
        listed.push_back(ListedInterface{TypeName(info.Get()), interface_attributes->guid, info});
        info->ReleaseTypeAttr(interface_attributes);
    }
    return listed;
}

inline CTevo& ObjectOf(ITevo* driver) {
    return static_cast<CTevo&>(*static_cast<TevoRootFacet*>(driver));
}

// A driver initialized against the emulator (or in simulation).
class TreeSession : public ::testing::Test {
  protected:
    void Open(const wchar_t* options = L"Simulate=false") {
        driver_ = NewDriver();
        ASSERT_EQ(driver_->Initialize(emulator_.Resource().Get(), VARIANT_FALSE, VARIANT_FALSE,
                                      Bstr(options).Get()),
                  S_OK);
        emulator_->ClearReceivedMessages();
    }
    void TearDown() override {
        if (driver_) {
            driver_->Close();
        }
    }

    template <class Interface>
    ComPtr<Interface> Get() {
        return As<Interface>(driver_.Get());
    }

    std::vector<std::string> Sent() {
        return emulator_.SentSinceLastCheck(ObjectOf(driver_.Get()).Io());
    }

    RunningEmulator emulator_;
    ComPtr<ITevo> driver_;
};

}  // namespace tevo::driver::testing
