// RegisterTypeLib, UnRegisterTypeLib, LoadRegTypeLib and QueryPathOfRegTypeLib, the
// registration of the platform's libraries in a new system root, and imports resolved
// through the registry.
#include <gtest/gtest.h>

#include <tevo/Tevo.h>

#include <filesystem>
#include <optional>
#include <string>

#include "tevo/testing/temp_dir.h"
#include "typelib_test_support.h"

namespace tevo::com::typelib::testing {
namespace {

namespace fs = std::filesystem;
using tevo::testing::CurrentSystemRoot;
using tevo::testing::ReadFile;
using tevo::testing::TempDir;

const std::string kOleAutomationProxy = "{00020424-0000-0000-C000-000000000046}";

// A string value under HKEY_CLASSES_ROOT (the default value when name is null).
std::optional<std::string> ClassesValue(const std::string& key, const char* name = nullptr) {
    char data[1024] = {};
    DWORD size = sizeof data;
    if (RegGetValueA(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, data, &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::string(data);
}

bool ClassesKeyExists(const std::string& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(handle);
    return true;
}

std::string Key(const char* prefix, const GUID& guid, const std::string& rest = "") {
    return std::string(prefix) + "\\" + tevo::com::GuidToUtf8(guid) + rest;
}

// Every hive file of the current system root, concatenated.
std::string RegistryBytes() {
    std::string bytes;
    for (const char* hive : {"HKLM.reg", "HKCU.reg"}) {
        bytes += std::string(hive) + ":\n" + ReadFile(CurrentSystemRoot() / "registry" / hive);
    }
    return bytes;
}

HRESULT RegisterFile(const fs::path& file, const wchar_t* help_dir) {
    const ComPtr<ITypeLib> library = Load(file);
    if (!library) {
        return E_FAIL;
    }
    return RegisterTypeLib(library.Get(), Wide(file).c_str(), help_dir);
}

TEST(PlatformTypeLibraries, AreRegisteredInEveryNewRoot) {
    const struct {
        GUID libid;
        const char* file;
    } libraries[] = {{LIBID_IviDriverLib, "IviDriverTypeLib.tlb"},
                     {LIBID_IviSpecAnLib, "IviSpecAnTypeLib.tlb"},
                     {LIBID_TraceRuntimeLib, "TraceRuntime.tlb"}};
    for (const auto& library : libraries) {
        BSTR path = nullptr;
        ASSERT_EQ(QueryPathOfRegTypeLib(library.libid, 1, 0, 0, &path), S_OK) << library.file;
        // The copies next to libtevocom.so.
        EXPECT_EQ(Bstr::Adopt(path).ToUtf8(),
                  (fs::path(TEVO_COM_LIBRARY_DIR) / library.file).string());
        ComPtr<ITypeLib> loaded;
        ASSERT_EQ(LoadRegTypeLib(library.libid, 1, 0, 0, &loaded), S_OK);
        EXPECT_EQ(loaded->GetTypeInfoCount() > 0, true);
    }
    EXPECT_EQ(ClassesValue(Key("Interface", IID_IIviDriver)), "IIviDriver");
    EXPECT_EQ(ClassesValue(Key("Interface", IID_IIviSpecAnMarker, "\\ProxyStubClsid32")),
              kOleAutomationProxy);
    EXPECT_EQ(ClassesValue(Key("Interface", IID_ITraceSwitch, "\\TypeLib")),
              tevo::com::GuidToUtf8(LIBID_TraceRuntimeLib));
}

TEST(RegisterTypeLib, WritesTheKeysWindowsWrites) {
    const TempDir dir;
    const fs::path file = dir / "Tevo.tlb";
    fs::copy_file(GeneratedTlb("Tevo.tlb"), file);
    ASSERT_EQ(RegisterFile(file, Wide(dir.path()).c_str()), S_OK);

    const std::string version = Key("TypeLib", LIBID_Tevo_ValdacorLib, "\\1.0");
    EXPECT_EQ(ClassesValue(version), "IVI Tevo (Valdacor) 1.0 Type Library");
    EXPECT_EQ(ClassesValue(version + "\\FLAGS"), "0");
    EXPECT_EQ(ClassesValue(version + "\\HELPDIR"), dir.path().string());
    EXPECT_EQ(ClassesValue(version + "\\409\\win32"), file.string());  // the library's locale

    // Every own interface is an oleautomation interface; the imported ones are not the
    // driver library's to register.
    const std::string acquisition = Key("Interface", IID_ITevoAcquisition);
    EXPECT_EQ(ClassesValue(acquisition), "ITevoAcquisition");
    EXPECT_EQ(ClassesValue(acquisition + "\\ProxyStubClsid"), kOleAutomationProxy);
    EXPECT_EQ(ClassesValue(acquisition + "\\ProxyStubClsid32"), kOleAutomationProxy);
    EXPECT_EQ(ClassesValue(acquisition + "\\TypeLib"),
              tevo::com::GuidToUtf8(LIBID_Tevo_ValdacorLib));
    EXPECT_EQ(ClassesValue(acquisition + "\\TypeLib", "Version"), "1.0");
    EXPECT_EQ(ClassesValue(Key("Interface", IID_ITevo)), "ITevo");
    EXPECT_EQ(ClassesValue(Key("Interface", IID_ITevoTriggerVideo)), "ITevoTriggerVideo");
    // Classes and enumerations are not interfaces.
    EXPECT_FALSE(ClassesKeyExists(Key("Interface", CLSID_Tevo)));
    EXPECT_EQ(ClassesValue(Key("Interface", IID_IIviDriver, "\\TypeLib")),
              tevo::com::GuidToUtf8(LIBID_IviDriverLib));

    // Registered, the library is found by identifier and version for any locale that
    // falls back to it.
    BSTR path = nullptr;
    for (LCID lcid : {LCID{0x409}, LCID{0}, LCID{0x407}, LOCALE_USER_DEFAULT}) {
        ASSERT_EQ(QueryPathOfRegTypeLib(LIBID_Tevo_ValdacorLib, 1, 0, lcid, &path), S_OK) << lcid;
        EXPECT_EQ(Bstr::Adopt(path).ToUtf8(), file.string());
    }
    ComPtr<ITypeLib> loaded;
    ASSERT_EQ(LoadRegTypeLib(LIBID_Tevo_ValdacorLib, 1, 0, 0x409, &loaded), S_OK);
    EXPECT_EQ(loaded.Get(), Load(file).Get());

    EXPECT_EQ(RegisterTypeLib(nullptr, L"x", nullptr), E_INVALIDARG);
    EXPECT_EQ(RegisterTypeLib(loaded.Get(), nullptr, nullptr), E_INVALIDARG);
}

TEST(RegisterTypeLib, RegisterThenUnregisterLeavesTheRegistryAsItWas) {
    const TempDir dir;
    const fs::path file = dir / "Tevo.tlb";
    fs::copy_file(GeneratedTlb("Tevo.tlb"), file);
    // The root is set up (the platform's libraries registered) by the first registry use.
    ASSERT_TRUE(ClassesKeyExists(Key("TypeLib", LIBID_IviDriverLib)));
    const std::string before = RegistryBytes();
    ASSERT_FALSE(ClassesKeyExists(Key("TypeLib", LIBID_Tevo_ValdacorLib)));

    ASSERT_EQ(RegisterFile(file, L"/help"), S_OK);
    ASSERT_NE(RegistryBytes(), before);
    ASSERT_EQ(UnRegisterTypeLib(LIBID_Tevo_ValdacorLib, 1, 0, 0x409, SYS_WIN32), S_OK);
    EXPECT_EQ(RegistryBytes(), before);

    // Nothing left to remove.
    EXPECT_EQ(UnRegisterTypeLib(LIBID_Tevo_ValdacorLib, 1, 0, 0x409, SYS_WIN32),
              TYPE_E_REGISTRYACCESS);
    ComPtr<ITypeLib> loaded;
    EXPECT_EQ(LoadRegTypeLib(LIBID_Tevo_ValdacorLib, 1, 0, 0x409, &loaded),
              TYPE_E_LIBNOTREGISTERED);
    // Another target system than the one registered.
    ASSERT_EQ(RegisterFile(file, nullptr), S_OK);
    EXPECT_EQ(UnRegisterTypeLib(LIBID_Tevo_ValdacorLib, 1, 0, 0x409, SYS_WIN64),
              TYPE_E_REGISTRYACCESS);
    EXPECT_TRUE(ClassesKeyExists(Key("TypeLib", LIBID_Tevo_ValdacorLib, "\\1.0\\409\\win32")));
}

TEST(UnRegisterTypeLib, KeepsOtherRegistrationsOfTheLibrary) {
    const TempDir dir;
    const fs::path file = dir / "Tevo.tlb";
    fs::copy_file(GeneratedTlb("Tevo.tlb"), file);
    ASSERT_EQ(RegisterFile(file, nullptr), S_OK);
    const std::string library = Key("TypeLib", LIBID_Tevo_ValdacorLib);
    // The same library also for the neutral locale, and a version 1.1 beside it.
    ASSERT_EQ(tevo::win::ImportRegistryText("REGEDIT4\n[HKEY_CLASSES_ROOT\\" + library +
                                            "\\1.0\\0\\win32]\n@=\"/elsewhere/Tevo.tlb\"\n"
                                            "[HKEY_CLASSES_ROOT\\" +
                                            library + "\\1.1\\0\\win32]\n@=\"/newer/Tevo.tlb\"\n"),
              ERROR_SUCCESS);

    ASSERT_EQ(UnRegisterTypeLib(LIBID_Tevo_ValdacorLib, 1, 0, 0x409, SYS_WIN32), S_OK);
    EXPECT_FALSE(ClassesKeyExists(library + "\\1.0\\409"));
    EXPECT_EQ(ClassesValue(library + "\\1.0\\0\\win32"), "/elsewhere/Tevo.tlb");
    EXPECT_TRUE(ClassesKeyExists(library + "\\1.0\\FLAGS"));
    // The interfaces went with the registration that described them.
    EXPECT_FALSE(ClassesKeyExists(Key("Interface", IID_ITevoAcquisition)));

    ASSERT_EQ(UnRegisterTypeLib(LIBID_Tevo_ValdacorLib, 1, 0, 0, SYS_WIN32), S_OK);
    EXPECT_FALSE(ClassesKeyExists(library + "\\1.0"));
    EXPECT_EQ(ClassesValue(library + "\\1.1\\0\\win32"), "/newer/Tevo.tlb");
    ASSERT_EQ(UnRegisterTypeLib(LIBID_Tevo_ValdacorLib, 1, 1, 0, SYS_WIN32), S_OK);
    EXPECT_FALSE(ClassesKeyExists(library));
    EXPECT_TRUE(ClassesKeyExists("TypeLib"));
}

TEST(UnRegisterTypeLib, LeavesInterfacesThatAnotherLibraryRegisteredSince) {
    const TempDir dir;
    const fs::path file = dir / "Tevo.tlb";
    fs::copy_file(GeneratedTlb("Tevo.tlb"), file);
    ASSERT_EQ(RegisterFile(file, nullptr), S_OK);
    const std::string taken = Key("Interface", IID_ITevoDisplay, "\\TypeLib");
    ASSERT_EQ(tevo::win::ImportRegistryText("REGEDIT4\n[HKEY_CLASSES_ROOT\\" + taken +
                                            "]\n@=\"{11111111-2222-3333-4444-555555555555}\"\n"),
              ERROR_SUCCESS);
    ASSERT_EQ(UnRegisterTypeLib(LIBID_Tevo_ValdacorLib, 1, 0, 0x409, SYS_WIN32), S_OK);
    EXPECT_TRUE(ClassesKeyExists(Key("Interface", IID_ITevoDisplay)));
    EXPECT_FALSE(ClassesKeyExists(Key("Interface", IID_ITevoAcquisition)));
}

TEST(LoadRegTypeLib, ChoosesTheVersionAndRefusesWhatIsNotRegistered) {
    ComPtr<ITypeLib> library;
    EXPECT_EQ(LoadRegTypeLib(LIBID_IviDriverLib, 1, 0, 0, nullptr), E_INVALIDARG);
    EXPECT_EQ(LoadRegTypeLib(LIBID_Tevo_ValdacorLib, 1, 0, 0, &library), TYPE_E_LIBNOTREGISTERED);
    // Version 1.0 is registered: requests for 1.1 or 2.0 do not find it.
    EXPECT_EQ(LoadRegTypeLib(LIBID_IviDriverLib, 1, 1, 0, &library), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(LoadRegTypeLib(LIBID_IviDriverLib, 2, 0, 0, &library), TYPE_E_LIBNOTREGISTERED);
    EXPECT_FALSE(library);

    // The version asked for when it is registered, otherwise the highest minor version
    // above it.
    const std::string key = Key("TypeLib", LIBID_IviDriverLib);
    const std::string specan = (fs::path(TEVO_COM_LIBRARY_DIR) / "IviSpecAnTypeLib.tlb").string();
    const std::string trace = (fs::path(TEVO_COM_LIBRARY_DIR) / "TraceRuntime.tlb").string();
    ASSERT_EQ(tevo::win::ImportRegistryText(
                  "REGEDIT4\n[-HKEY_CLASSES_ROOT\\" + key + "\\1.0]\n[HKEY_CLASSES_ROOT\\" + key +
                  "\\1.3\\0\\win32]\n@=\"" + specan + "\"\n[HKEY_CLASSES_ROOT\\" + key +
                  "\\1.a\\0\\win64]\n@=\"" + trace + "\"\n"),
              ERROR_SUCCESS);
    BSTR path = nullptr;
    ASSERT_EQ(QueryPathOfRegTypeLib(LIBID_IviDriverLib, 1, 0, 0, &path), S_OK);
    EXPECT_EQ(Bstr::Adopt(path).ToUtf8(), trace);  // 1.a is 1.10
    ASSERT_EQ(QueryPathOfRegTypeLib(LIBID_IviDriverLib, 1, 3, 0, &path), S_OK);
    EXPECT_EQ(Bstr::Adopt(path).ToUtf8(), specan);
    ASSERT_EQ(QueryPathOfRegTypeLib(LIBID_IviDriverLib, 1, 4, 0, &path), S_OK);
    EXPECT_EQ(Bstr::Adopt(path).ToUtf8(), trace);
    EXPECT_EQ(QueryPathOfRegTypeLib(LIBID_IviDriverLib, 1, 11, 0, &path), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(path, nullptr);
    EXPECT_EQ(QueryPathOfRegTypeLib(LIBID_IviDriverLib, 1, 0, 0, nullptr), E_INVALIDARG);

    // A registered file that is gone: the load failure.
    ASSERT_EQ(tevo::win::ImportRegistryText("REGEDIT4\n[HKEY_CLASSES_ROOT\\" + key +
                                            "\\1.b\\0\\win32]\n@=\"/gone/x.tlb\"\n"),
              ERROR_SUCCESS);
    EXPECT_EQ(LoadRegTypeLib(LIBID_IviDriverLib, 1, 0, 0, &library), TYPE_E_CANTLOADLIBRARY);
}

// A copy of the driver library alone in a folder: its imports can be found only through
// the registry.
TEST(Imports, AreResolvedThroughTheRegistry) {
    const TempDir dir;
    fs::copy_file(GeneratedTlb("Tevo.tlb"), dir / "Tevo.tlb");
    const ComPtr<ITypeLib> library = Load(dir / "Tevo.tlb");
    ASSERT_TRUE(library);
    ComPtr<ITypeInfo> root;
    ASSERT_EQ(library->GetTypeInfoOfGuid(IID_ITevo, &root), S_OK);
    HREFTYPE href = 0;
    ASSERT_EQ(root->GetRefTypeOfImplType(0, &href), S_OK);

    // Without the IviDriver registration the base cannot be found; the failure is not kept.
    ASSERT_EQ(UnRegisterTypeLib(LIBID_IviDriverLib, 1, 0, 0, SYS_WIN32), S_OK);
    ComPtr<ITypeInfo> base;
    EXPECT_EQ(root->GetRefTypeInfo(href, &base), TYPE_E_LIBNOTREGISTERED);
    EXPECT_FALSE(base);

    const fs::path registered = dir / "registered" / "IviDriverTypeLib.tlb";
    fs::create_directories(registered.parent_path());
    fs::copy_file(GeneratedTlb("IviDriverTypeLib.tlb"), registered);
    ASSERT_EQ(RegisterFile(registered, nullptr), S_OK);
    ASSERT_EQ(root->GetRefTypeInfo(href, &base), S_OK);
    EXPECT_EQ(TypeName(base.Get()), "IIviDriver");
    ComPtr<ITypeLib> container;
    ASSERT_EQ(base->GetContainingTypeLib(&container, nullptr), S_OK);
    EXPECT_EQ(container.Get(), Load(registered).Get());

    // Resolved once, the import stays with the library.
    ComPtr<ITypeInfo> again;
    ASSERT_EQ(root->GetRefTypeInfo(href, &again), S_OK);
    EXPECT_EQ(again.Get(), base.Get());

    // IIviDriver's base is IUnknown of the built-in OLE Automation library.
    ASSERT_EQ(base->GetRefTypeOfImplType(0, &href), S_OK);
    ComPtr<ITypeInfo> unknown;
    ASSERT_EQ(base->GetRefTypeInfo(href, &unknown), S_OK);
    EXPECT_EQ(TypeAttr(unknown.Get())->guid, IID_IUnknown);
}

// Imports that the registry does not know are looked for next to the importing file.
TEST(Imports, AreFoundBesideTheImportingFile) {
    const TempDir dir;
    for (const char* name : {"Tevo.tlb", "IviDriverTypeLib.tlb", "IviSpecAnTypeLib.tlb"}) {
        fs::copy_file(GeneratedTlb(name), dir / name);
    }
    ASSERT_EQ(UnRegisterTypeLib(LIBID_IviDriverLib, 1, 0, 0, SYS_WIN32), S_OK);
    ASSERT_EQ(UnRegisterTypeLib(LIBID_IviSpecAnLib, 1, 0, 0, SYS_WIN32), S_OK);
    ASSERT_EQ(UnRegisterTypeLib(LIBID_TraceRuntimeLib, 1, 0, 0, SYS_WIN32), S_OK);

    const ComPtr<ITypeLib> library = Load(dir / "Tevo.tlb");
    ASSERT_TRUE(library);
    const ComPtr<ITypeInfo> coclass = TypeNamed(library.Get(), "Tevo");
    int resolved = 0;
    int missing = 0;
    for (UINT i = 0; i < TypeAttr(coclass.Get())->cImplTypes; ++i) {
        HREFTYPE href = 0;
        ASSERT_EQ(coclass->GetRefTypeOfImplType(i, &href), S_OK);
        ComPtr<ITypeInfo> type;
        const HRESULT hr = coclass->GetRefTypeInfo(href, &type);
        if (SUCCEEDED(hr)) {
            ++resolved;
        } else {
            // TraceRuntime.tlb is neither registered nor beside the file.
            EXPECT_EQ(hr, TYPE_E_LIBNOTREGISTERED);
            ++missing;
        }
    }
    EXPECT_EQ(missing, 2);  // ITraceSwitch, IMessageProvider
    EXPECT_EQ(resolved, 42);
}

}  // namespace
}  // namespace tevo::com::typelib::testing
