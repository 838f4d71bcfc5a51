#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tevo/testing/temp_dir.h"
#include "tevo/win/registry.h"
#include "tevo/win/sysroot.h"

namespace {

using namespace std::string_literals;

// A key handle closed at the end of the test.
class Key {
  public:
    Key() = default;
    ~Key() {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY* out() { return &key_; }
    operator HKEY() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

LONG Create(HKEY parent, const char* name, Key* key, DWORD* disposition = nullptr,
            REGSAM access = KEY_ALL_ACCESS) {
    return RegCreateKeyExA(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                           key->out(), disposition);
}

LONG SetA(HKEY key, const char* name, DWORD type, const std::string& data) {
    return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size()));
}

LONG GetA(HKEY key, const char* name, DWORD* type, std::string* data) {
    DWORD size = 0;
    LONG status = RegQueryValueExA(key, name, nullptr, type, nullptr, &size);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    data->assign(size, '\0');
    status =
        RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(data->data()), &size);
    data->resize(size);
    return status;
}

std::string HiveText(const char* file) {
    return tevo::testing::ReadFile(tevo::win::RegistryDirectory() / file);
}

TEST(RegistryKeys, CreateReportsNewOrExistingAndNamesIgnoreCaseButKeepIt) {
    Key created;
    DWORD disposition = 0;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Tevo\\MixedCase", &created, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    Key again;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "SOFTWARE\\tevo\\mixedcase\\", &again, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);

    ASSERT_EQ(SetA(created, "ValueName", REG_SZ, "one\0"s), ERROR_SUCCESS);
    ASSERT_EQ(SetA(again, "VALUENAME", REG_SZ, "two\0"s), ERROR_SUCCESS);
    Key opened;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "software\\TEVO", 0, KEY_READ, opened.out()),
              ERROR_SUCCESS);
    char name[64];
    DWORD size = sizeof name;
    ASSERT_EQ(RegEnumKeyExA(opened, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_STREQ(name, "MixedCase");
    EXPECT_EQ(size, 9u);
    size = sizeof name;
    DWORD type = 0;
    char data[16];
    DWORD data_size = sizeof data;
    ASSERT_EQ(RegEnumValueA(again, 0, name, &size, nullptr, &type, reinterpret_cast<BYTE*>(data),
                            &data_size),
              ERROR_SUCCESS);
    EXPECT_STREQ(name, "ValueName");
    EXPECT_STREQ(data, "two");
    EXPECT_EQ(RegEnumValueA(again, 1, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);

    // Non-ASCII names compare without regard to case too.
    Key accented;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\\xC3\x89t\xC3\xA9", &accented), ERROR_SUCCESS);
    Key folded;
    EXPECT_EQ(
        RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\\xC3\xA9T\xC3\x89", 0, KEY_READ, folded.out()),
        ERROR_SUCCESS);
    EXPECT_NE(HiveText("HKCU.reg")
                  .find("[HKEY_CURRENT_USER\\Software\\Tevo\\MixedCase]\n"
                        "\"ValueName\"=\"two\"\n"),
              std::string::npos)
        << HiveText("HKCU.reg");
}

TEST(RegistryKeys, OpenMissingAndBadNames) {
    Key key;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Nowhere", 0, KEY_READ, key.out()),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(static_cast<HKEY>(key), nullptr);
    EXPECT_EQ(Create(HKEY_LOCAL_MACHINE, "\\Leading", &key), ERROR_BAD_PATHNAME);
    EXPECT_EQ(Create(HKEY_LOCAL_MACHINE, "A\\\\B", &key), ERROR_BAD_PATHNAME);
    EXPECT_EQ(Create(HKEY_LOCAL_MACHINE, std::string(256, 'k').c_str(), &key),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Create(HKEY_LOCAL_MACHINE, std::string(255, 'k').c_str(), &key), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(reinterpret_cast<HKEY>(0x1234), "x", 0, KEY_READ, key.out()),
              ERROR_INVALID_HANDLE);
}

// "k\k\...": `levels` key names.
std::string Levels(size_t levels) {
    std::string path;
    for (size_t i = 0; i < levels; ++i) {
        path += i == 0 ? "k" : "\\k";
    }
    return path;
}

TEST(RegistryKeys, KeysAreAtMost512LevelsDeep) {
    Key key;
    EXPECT_EQ(Create(HKEY_CURRENT_USER, Levels(513).c_str(), &key), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, Levels(513).c_str(), key.out()),
              ERROR_INVALID_PARAMETER);
    const std::string narrow = Levels(513);
    const std::wstring wide(narrow.begin(), narrow.end());
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, wide.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, key.out(), nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(HiveText("HKCU.reg"), "");  // nothing was created

    ASSERT_EQ(Create(HKEY_CURRENT_USER, Levels(512).c_str(), &key), ERROR_SUCCESS);
    Key below;
    EXPECT_EQ(Create(key, "one more", &below), ERROR_INVALID_PARAMETER);
    // The depth counts from the hive's root, also through a handle below it.
    Key middle;
    ASSERT_EQ(
        RegOpenKeyExA(HKEY_CURRENT_USER, Levels(500).c_str(), 0, KEY_ALL_ACCESS, middle.out()),
        ERROR_SUCCESS);
    EXPECT_EQ(Create(middle, (Levels(12) + "\\x").c_str(), &below), ERROR_INVALID_PARAMETER);
    DWORD disposition = 0;
    EXPECT_EQ(Create(middle, Levels(12).c_str(), &below, &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    // HKEY_CLASSES_ROOT is two levels down in HKEY_LOCAL_MACHINE.
    Key classes;
    EXPECT_EQ(Create(HKEY_CLASSES_ROOT, Levels(511).c_str(), &classes), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Create(HKEY_CLASSES_ROOT, Levels(510).c_str(), &classes), ERROR_SUCCESS);
}

TEST(RegistryKeys, PredefinedKeysHaveTheirWindowsNumbersAndClassesRootIsAView) {
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(HKEY_CLASSES_ROOT),
              static_cast<ULONG_PTR>(static_cast<LONG_PTR>(static_cast<LONG>(0x80000000u))));
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(HKEY_CURRENT_USER) & 0xFFFFFFFFu, 0x80000001u);
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(HKEY_LOCAL_MACHINE) & 0xFFFFFFFFu, 0x80000002u);

    // An empty HKEY_CLASSES_ROOT can be read before SOFTWARE\Classes exists.
    DWORD subkeys = 99;
    ASSERT_EQ(RegQueryInfoKeyA(HKEY_CLASSES_ROOT, nullptr, nullptr, nullptr, &subkeys, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 0u);

    Key clsid;
    ASSERT_EQ(Create(HKEY_CLASSES_ROOT, "CLSID\\{00000000-0000-0000-0000-000000000001}", &clsid),
              ERROR_SUCCESS);
    ASSERT_EQ(SetA(clsid, nullptr, REG_SZ, "Example Class\0"s), ERROR_SUCCESS);
    Key machine;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                            "SOFTWARE\\Classes\\CLSID\\{00000000-0000-0000-0000-000000000001}", 0,
                            KEY_READ, machine.out()),
              ERROR_SUCCESS);
    std::string data;
    DWORD type = 0;
    ASSERT_EQ(GetA(machine, "", &type, &data), ERROR_SUCCESS);
    EXPECT_EQ(data, "Example Class\0"s);
    EXPECT_EQ(HiveText("HKCU.reg"), "");
    EXPECT_NE(HiveText("HKLM.reg")
                  .find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\"
                        "{00000000-0000-0000-0000-000000000001}]\n"
                        "@=\"Example Class\"\n"),
              std::string::npos);
    // Setting and deleting a value on HKEY_CLASSES_ROOT itself.
    EXPECT_EQ(SetA(HKEY_CLASSES_ROOT, "RootValue", REG_SZ, "x\0"s), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(HKEY_CLASSES_ROOT, "RootValue"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(HKEY_CLASSES_ROOT, "RootValue"), ERROR_FILE_NOT_FOUND);
}

TEST(RegistryValues, EveryTypeRoundTripsThroughTheNarrowFunctions) {
    Key key;
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Sorvant\\Tmp", &key), ERROR_SUCCESS);
    const std::vector<std::pair<DWORD, std::string>> values = {
        {REG_SZ, "-1\0"s},  // with its terminating zero, as ResultLauncher is written
        {REG_SZ, "no terminator"},
        {REG_SZ, ""},
        {REG_SZ, "\0"s},
        {REG_SZ, "quote \" backslash \\ apostrophe ' \xC3\xA9\xE2\x82\xAC\0"s},
        {REG_EXPAND_SZ, "%SystemRoot%\\x\0"s},
        {REG_DWORD, "\x1f\0\0\0"s},
        {REG_BINARY, "\0\x01\0\xff"s},
        {REG_MULTI_SZ, "one\0\0three\0\0"s},
        {REG_QWORD, "\x08\x07\x06\x05\x04\x03\x02\x01"s},
        {REG_NONE, ""},
    };
    for (size_t i = 0; i < values.size(); ++i) {
        const std::string name = "v" + std::to_string(i);
        ASSERT_EQ(SetA(key, name.c_str(), values[i].first, values[i].second), ERROR_SUCCESS);
    }
    for (size_t i = 0; i < values.size(); ++i) {
        const std::string name = "V" + std::to_string(i);
        DWORD type = 0;
        std::string data;
        ASSERT_EQ(GetA(key, name.c_str(), &type, &data), ERROR_SUCCESS);
        EXPECT_EQ(type, values[i].first) << name;
        EXPECT_EQ(data, values[i].second) << name;
    }
    EXPECT_NE(HiveText("HKLM.reg").find("\"v0\"=\"-1\"\n\"v1\"=hex(1):"), std::string::npos);
}

TEST(RegistryValues, WideFunctionsConvertTextAndCountWideBytes) {
    Key key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wide", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, key.out(), nullptr),
              ERROR_SUCCESS);
    const wchar_t text[] = L"Gr\u00fc\u00dfe \u20ac";  // 8 characters
    ASSERT_EQ(RegSetValueExW(key, L"N\u00e4me", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                             sizeof text),
              ERROR_SUCCESS);
    // The narrow view holds UTF-8 with the terminator.
    std::string narrow;
    DWORD type = 0;
    ASSERT_EQ(GetA(key, "N\xC3\xA4me", &type, &narrow), ERROR_SUCCESS);
    EXPECT_EQ(narrow,
              "Gr\xC3\xBC\xC3\x9F"
              "e \xE2\x82\xAC\0"s);

    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExW(key, L"N\u00c4ME", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, sizeof text);
    std::vector<wchar_t> back(size / sizeof(wchar_t));
    ASSERT_EQ(RegQueryValueExW(key, L"n\u00e4me", nullptr, &type,
                               reinterpret_cast<BYTE*>(back.data()), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(back.data()), text);

    // Without its terminator the wide string comes back without one.
    ASSERT_EQ(RegSetValueExW(key, L"Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"ab"),
                             2 * sizeof(wchar_t)),
              ERROR_SUCCESS);
    ASSERT_EQ(RegQueryValueExW(key, L"Bare", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 2 * sizeof(wchar_t));
    ASSERT_EQ(GetA(key, "Bare", &type, &narrow), ERROR_SUCCESS);
    EXPECT_EQ(narrow, "ab");
    // Wide string data must be whole characters.
    EXPECT_EQ(RegSetValueExW(key, L"Odd", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"ab"), 5),
              ERROR_INVALID_PARAMETER);
    // Binary data passes unconverted.
    const BYTE bytes[] = {0, 1, 2};
    ASSERT_EQ(RegSetValueExW(key, L"Bin", 0, REG_BINARY, bytes, 3), ERROR_SUCCESS);
    ASSERT_EQ(RegQueryValueExW(key, L"Bin", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 3u);

    wchar_t name[16];
    DWORD name_size = 16;
    ASSERT_EQ(RegEnumValueW(key, 0, name, &name_size, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(name), L"N\u00e4me");
    EXPECT_EQ(name_size, 4u);
}

TEST(RegistryValues, ShortBuffersGetMoreDataWithTheSizeNeeded) {
    Key key;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Sizes", &key), ERROR_SUCCESS);
    ASSERT_EQ(SetA(key, "Text", REG_SZ, "0123456789\0"s), ERROR_SUCCESS);

    DWORD type = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Text", nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    DWORD size = 4;
    EXPECT_EQ(RegQueryValueExA(key, "Text", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 11u);
    EXPECT_EQ(buffer[0], '#');
    size = 11;
    EXPECT_EQ(RegQueryValueExA(key, "Text", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "0123456789");
    EXPECT_EQ(
        RegQueryValueExA(key, "Text", nullptr, &type, reinterpret_cast<BYTE*>(buffer), nullptr),
        ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, &type, nullptr, &size),
              ERROR_FILE_NOT_FOUND);

    DWORD wide_size = 8;
    wchar_t wide[4];
    EXPECT_EQ(
        RegQueryValueExW(key, L"Text", nullptr, nullptr, reinterpret_cast<BYTE*>(wide), &wide_size),
        ERROR_MORE_DATA);
    EXPECT_EQ(wide_size, 11 * sizeof(wchar_t));

    // Enumeration: a data buffer too small, and a name buffer too small.
    char name[16];
    DWORD name_size = sizeof name;
    size = 2;
    EXPECT_EQ(RegEnumValueA(key, 0, name, &name_size, nullptr, &type,
                            reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 11u);
    name_size = 4;
    EXPECT_EQ(RegEnumValueA(key, 0, name, &name_size, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    Key sub;
    ASSERT_EQ(Create(key, "LongerName", &sub), ERROR_SUCCESS);
    name_size = 10;  // no room for the terminating zero
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &name_size, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
}

TEST(RegistryValues, QueryInfoCountsAndLongestSizes) {
    Key key;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Info", &key), ERROR_SUCCESS);
    Key a;
    Key b;
    ASSERT_EQ(Create(key, "Short", &a), ERROR_SUCCESS);
    ASSERT_EQ(Create(key, "\xC3\xA9\xC3\xA9\xC3\xA9", &b), ERROR_SUCCESS);  // 3 chars, 6 bytes
    ASSERT_EQ(SetA(key, "Name", REG_SZ, "\xE2\x82\xAC\0"s), ERROR_SUCCESS);
    ASSERT_EQ(SetA(key, "LongestName", REG_BINARY, "12"), ERROR_SUCCESS);
    DWORD subkeys = 0, max_subkey = 0, values = 0, max_name = 0, max_data = 0;
    ASSERT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, &max_subkey, nullptr,
                               &values, &max_name, &max_data, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 2u);
    EXPECT_EQ(max_subkey, 6u);
    EXPECT_EQ(values, 2u);
    EXPECT_EQ(max_name, 11u);
    EXPECT_EQ(max_data, 4u);
    ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &max_subkey, nullptr,
                               &values, &max_name, &max_data, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(max_subkey, 5u);
    EXPECT_EQ(max_data, 2 * sizeof(wchar_t));
}

TEST(RegistryValues, EnumerationOrder) {
    Key key;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Order", &key), ERROR_SUCCESS);
    for (const char* name : {"charlie", "Alpha", "bravo"}) {
        Key sub;
        ASSERT_EQ(Create(key, name, &sub), ERROR_SUCCESS);
        ASSERT_EQ(SetA(key, name, REG_DWORD, "\0\0\0\0"s), ERROR_SUCCESS);
    }
    std::vector<std::string> keys;
    std::vector<std::string> values;
    char name[32];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        const LONG status = RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        ASSERT_EQ(status, ERROR_SUCCESS);
        keys.emplace_back(name);
    }
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        const LONG status = RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        ASSERT_EQ(status, ERROR_SUCCESS);
        values.emplace_back(name);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"Alpha", "bravo", "charlie"}));
    EXPECT_EQ(values, (std::vector<std::string>{"charlie", "Alpha", "bravo"}));
}

TEST(RegistryAccess, ReadOnlyHandlesRefuseWritesAndWriteOnlyHandlesRefuseReads) {
    Key writable;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Rights\\Child", &writable), ERROR_SUCCESS);
    ASSERT_EQ(SetA(writable, "v", REG_SZ, "x\0"s), ERROR_SUCCESS);

    Key reader;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Rights", 0, KEY_READ, reader.out()),
              ERROR_SUCCESS);
    EXPECT_EQ(SetA(reader, "v", REG_SZ, "y\0"s), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(reader, "v"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(reader, "Child"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteTreeA(reader, nullptr), ERROR_ACCESS_DENIED);
    Key sub;
    EXPECT_EQ(Create(reader, "New", &sub), ERROR_ACCESS_DENIED);
    // Opening an existing key through it is no write.
    EXPECT_EQ(Create(reader, "Child", &sub), ERROR_SUCCESS);

    Key query_only;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Rights\\Child", 0, KEY_QUERY_VALUE,
                            query_only.out()),
              ERROR_SUCCESS);
    char name[16];
    DWORD size = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(query_only, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_ACCESS_DENIED);
    std::string data;
    DWORD type = 0;
    EXPECT_EQ(GetA(query_only, "v", &type, &data), ERROR_SUCCESS);

    Key writer;
    ASSERT_EQ(
        RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Rights\\Child", 0, KEY_WRITE, writer.out()),
        ERROR_SUCCESS);
    EXPECT_EQ(GetA(writer, "v", &type, &data), ERROR_ACCESS_DENIED);
    EXPECT_EQ(SetA(writer, "v", REG_SZ, "z\0"s), ERROR_SUCCESS);
    // Generic rights map onto key rights.
    Key generic;
    ASSERT_EQ(
        RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Rights\\Child", 0, 0x80000000u, generic.out()),
        ERROR_SUCCESS);
    EXPECT_EQ(GetA(generic, "v", &type, &data), ERROR_SUCCESS);
    EXPECT_EQ(data, "z\0"s);
    EXPECT_EQ(SetA(generic, "v", REG_SZ, "w\0"s), ERROR_ACCESS_DENIED);
}

TEST(RegistryDelete, KeysValuesAndTrees) {
    Key key;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Del\\A\\B", &key), ERROR_SUCCESS);
    ASSERT_EQ(SetA(key, "v", REG_SZ, "x\0"s), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Del\\A"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Del\\Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegDeleteValueA(key, "missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueA(key, "V"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "software\\del\\a\\b"), ERROR_SUCCESS);
    // The handle's key is gone now.
    EXPECT_EQ(SetA(key, "v", REG_SZ, "x\0"s), ERROR_KEY_DELETED);
    std::string data;
    DWORD type = 0;
    EXPECT_EQ(GetA(key, "v", &type, &data), ERROR_KEY_DELETED);

    Key tree;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Tree\\x\\y\\z", &tree), ERROR_SUCCESS);
    Key top;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Tree", 0, KEY_ALL_ACCESS, top.out()),
              ERROR_SUCCESS);
    ASSERT_EQ(SetA(top, "kept?", REG_SZ, "no\0"s), ERROR_SUCCESS);
    // Without a sub-key, the tree below the key goes and the key stays.
    EXPECT_EQ(RegDeleteTreeA(top, nullptr), ERROR_SUCCESS);
    DWORD subkeys = 1, values = 1;
    ASSERT_EQ(RegQueryInfoKeyA(top, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 0u);
    EXPECT_EQ(values, 0u);
    EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Tree"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Tree"), ERROR_FILE_NOT_FOUND);
}

TEST(RegistryHandles, ClosedAndPredefinedHandles) {
    Key key;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Handles", &key), ERROR_SUCCESS);
    HKEY copy = nullptr;
    ASSERT_EQ(RegOpenKeyExA(key, nullptr, 0, KEY_READ, &copy), ERROR_SUCCESS);
    EXPECT_NE(copy, static_cast<HKEY>(key));
    EXPECT_EQ(RegCloseKey(copy), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(copy), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegQueryValueExA(copy, "x", nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    EXPECT_EQ(RegFlushKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    HKEY same = nullptr;
    EXPECT_EQ(RegOpenKeyA(key, "", &same), ERROR_SUCCESS);
    EXPECT_EQ(same, static_cast<HKEY>(key));
    Key old_style;
    EXPECT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, L"Software\\Handles\\Old", old_style.out()),
              ERROR_SUCCESS);
    Key reopened;
    EXPECT_EQ(RegOpenKeyW(HKEY_CURRENT_USER, L"Software\\Handles\\Old", reopened.out()),
              ERROR_SUCCESS);
    EXPECT_EQ(SetA(reopened, "w", REG_DWORD, "\x01\0\0\0"s), ERROR_SUCCESS);
}

TEST(RegistryGetValue, RestrictsTypesExpandsAndTerminates) {
    Key key;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Get", &key), ERROR_SUCCESS);
    ASSERT_EQ(SetA(key, "Bare", REG_SZ, "abc"), ERROR_SUCCESS);
    ASSERT_EQ(SetA(key, "Number", REG_DWORD, "\x2a\0\0\0"s), ERROR_SUCCESS);
    ASSERT_EQ(SetA(key, "Three", REG_BINARY, "123"), ERROR_SUCCESS);
    ASSERT_EQ(SetA(key, "Expand", REG_EXPAND_SZ, "%TEVO_REG_TEST%\\x\0"s), ERROR_SUCCESS);
    setenv("TEVO_REG_TEST", "value", 1);

    char text[32];
    DWORD size = sizeof text;
    DWORD type = 0;
    ASSERT_EQ(
        RegGetValueA(HKEY_CURRENT_USER, "Software\\Get", "Bare", RRF_RT_REG_SZ, &type, text, &size),
        ERROR_SUCCESS);
    EXPECT_STREQ(text, "abc");
    EXPECT_EQ(size, 4u);
    DWORD number = 0;
    size = sizeof number;
    EXPECT_EQ(RegGetValueA(key, nullptr, "Number", RRF_RT_DWORD, &type, &number, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(number, 42u);
    EXPECT_EQ(RegGetValueA(key, nullptr, "Number", RRF_RT_REG_SZ, &type, text, &size),
              ERROR_UNSUPPORTED_TYPE);
    size = sizeof number;
    EXPECT_EQ(RegGetValueA(key, nullptr, "Three", RRF_RT_DWORD, &type, &number, &size),
              ERROR_DATATYPE_MISMATCH);
    size = sizeof text;
    ASSERT_EQ(RegGetValueA(key, nullptr, "Expand", RRF_RT_REG_SZ, &type, text, &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(text, "value\\x");
    EXPECT_EQ(type, REG_SZ);
    size = sizeof text;
    ASSERT_EQ(RegGetValueA(key, nullptr, "Expand", RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, &type, text,
                           &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(text, "%TEVO_REG_TEST%\\x");
    EXPECT_EQ(RegGetValueA(key, nullptr, "Expand", RRF_RT_REG_EXPAND_SZ, &type, text, &size),
              ERROR_INVALID_PARAMETER);
    wchar_t wide[8];
    size = 2 * sizeof(wchar_t);
    std::memset(wide, 0x7f, sizeof wide);
    EXPECT_EQ(
        RegGetValueW(key, nullptr, L"Bare", RRF_RT_ANY | RRF_ZEROONFAILURE, &type, wide, &size),
        ERROR_MORE_DATA);
    EXPECT_EQ(size, 4 * sizeof(wchar_t));
    EXPECT_EQ(wide[0], 0);
    EXPECT_EQ(wide[2], 0x7f7f7f7f);
    EXPECT_EQ(RegGetValueA(key, "Missing", "Bare", RRF_RT_ANY, &type, nullptr, nullptr),
              ERROR_FILE_NOT_FOUND);
    unsetenv("TEVO_REG_TEST");
}

TEST(RegistryTextIo, ExportDeleteImportGivesTheSameKeys) {
    Key key;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Io\\Sub\\Deeper", &key), ERROR_SUCCESS);
    ASSERT_EQ(SetA(key, "quote\"d", REG_SZ, "a \"b\" c:\\d it's \xC3\xA9\0"s), ERROR_SUCCESS);
    ASSERT_EQ(SetA(key, "bare", REG_SZ, "e"), ERROR_SUCCESS);
    ASSERT_EQ(SetA(key, "multi", REG_MULTI_SZ, "a\0b\0\0"s), ERROR_SUCCESS);
    ASSERT_EQ(SetA(key, "", REG_BINARY, std::string(100, '\0')), ERROR_SUCCESS);
    Key io;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Io", 0, KEY_READ, io.out()),
              ERROR_SUCCESS);
    std::string exported;
    ASSERT_EQ(tevo::win::ExportRegistryKey(io, "HKEY_CURRENT_USER\\Software\\Io", &exported),
              ERROR_SUCCESS);
    EXPECT_EQ(exported.rfind("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Io]\n\n", 0), 0u);

    ASSERT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Io"), ERROR_SUCCESS);
    ASSERT_EQ(tevo::win::ImportRegistryText(exported), ERROR_SUCCESS);
    Key reopened;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Io", 0, KEY_READ, reopened.out()),
              ERROR_SUCCESS);
    std::string again;
    ASSERT_EQ(tevo::win::ExportRegistryKey(reopened, "HKEY_CURRENT_USER\\Software\\Io", &again),
              ERROR_SUCCESS);
    EXPECT_EQ(again, exported);

    // Deletions, roots in short form and HKEY_CLASSES_ROOT.
    ASSERT_EQ(tevo::win::ImportRegistryText("REGEDIT4\n\n[-HKEY_CURRENT_USER\\Software\\Io\\Sub]\n"
                                            "[HKCU\\Software\\Io]\n\"added\"=\"1\"\n"
                                            "[HKEY_CLASSES_ROOT\\.ext]\n@=\"File\"\n"),
              ERROR_SUCCESS);
    DWORD subkeys = 1, values = 0;
    ASSERT_EQ(RegQueryInfoKeyA(reopened, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                               &values, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 0u);
    EXPECT_EQ(values, 1u);
    std::string data;
    DWORD type = 0;
    Key ext;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes\\.EXT", 0, KEY_READ, ext.out()),
              ERROR_SUCCESS);
    ASSERT_EQ(GetA(ext, nullptr, &type, &data), ERROR_SUCCESS);
    EXPECT_EQ(data, "File\0"s);
}

TEST(RegistryTextIo, ImportRefusesKeysBeyondTheLimits) {
    Key key;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Keep", &key), ERROR_SUCCESS);
    const std::string user = HiveText("HKCU.reg");
    const std::string machine = HiveText("HKLM.reg");
    std::string problem;
    EXPECT_EQ(tevo::win::ImportRegistryText(
                  "REGEDIT4\n[HKCU\\Software\\Keep]\n\"a\"=\"1\"\n[HKCU\\" + Levels(513) + "]\n",
                  "", &problem),
              ERROR_BADDB);
    EXPECT_EQ(problem, "line 4: the key is more than 512 levels deep");
    EXPECT_EQ(tevo::win::ImportRegistryText(
                  "REGEDIT4\n[HKCU\\Software\\" + std::string(256, 'n') + "]\n", "", &problem),
              ERROR_BADDB);
    EXPECT_EQ(problem, "line 2: a key name is longer than 255 characters");
    // HKEY_CLASSES_ROOT is two levels down in HKEY_LOCAL_MACHINE.
    EXPECT_EQ(tevo::win::ImportRegistryText(
                  "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\" + Levels(511) + "]\n@=\"x\"\n", "", &problem),
              ERROR_BADDB);
    EXPECT_EQ(problem, "line 3: the key is more than 512 levels deep");
    EXPECT_EQ(HiveText("HKCU.reg"), user);
    EXPECT_EQ(HiveText("HKLM.reg"), machine);

    EXPECT_EQ(
        tevo::win::ImportRegistryText("REGEDIT4\n[HKCR\\" + Levels(510) + "]\n", "", &problem),
        ERROR_SUCCESS);
    EXPECT_EQ(
        tevo::win::ImportRegistryText("REGEDIT4\n[HKCU\\" + Levels(512) + "]\n", "", &problem),
        ERROR_SUCCESS);
}

TEST(RegistryTextIo, FailuresSayWhere) {
    std::string problem;
    EXPECT_EQ(tevo::win::ImportRegistryText("REGEDIT4\n[HKCU\\Software\\Keep]\n\"a\"=\"1\"\n"
                                            "\"b\"=dword:nothex\n",
                                            "settings.reg", &problem),
              ERROR_BADDB);
    EXPECT_EQ(problem, "settings.reg, line 4: bad value data");
    EXPECT_EQ(tevo::win::ImportRegistryText("REGEDIT4\n\n[HKCU\\Software]\n[HKEY_USERS\\x]\n", "",
                                            &problem),
              ERROR_BADKEY);
    EXPECT_EQ(problem, "line 4: unknown root key HKEY_USERS");

    // A damaged hive: the API calls and the import name the hive's file and line.
    const auto hive = tevo::testing::WriteFile(tevo::win::RegistryDirectory() / "HKCU.reg",
                                               "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n"
                                               "\"v\"=\"1\"\n\n[HKEY_CURRENT_USER\\Software\n");
    const std::string where = hive.string() + ", line 6: a key name must be enclosed in [ ]";
    Key key;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, key.out()), ERROR_BADDB);
    EXPECT_EQ(tevo::win::LastRegistryDamage(), where);
    EXPECT_EQ(tevo::win::ImportRegistryText("REGEDIT4\n[HKCU\\Software]\n", "", &problem),
              ERROR_BADDB);
    EXPECT_EQ(problem, where);
    // Another thread's failure is its own.
    std::string seen_by_other = "unset";
    std::thread([&] { seen_by_other = tevo::win::LastRegistryDamage(); }).join();
    EXPECT_EQ(seen_by_other, "");
}

TEST(RegistryTextIo, BadImportsChangeNothing) {
    Key key;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Keep", &key), ERROR_SUCCESS);
    const std::string before = HiveText("HKCU.reg");
    EXPECT_EQ(tevo::win::ImportRegistryText("REGEDIT4\n[HKCU\\Software\\Keep]\n\"a\"=\"1\"\n"
                                            "\"b\"=dword:nothex\n"),
              ERROR_BADDB);
    EXPECT_EQ(tevo::win::ImportRegistryText("REGEDIT4\n[HKCU\\Software\\Keep]\n\"a\"=\"1\"\n"
                                            "[HKEY_USERS\\x]\n"),
              ERROR_BADKEY);
    EXPECT_EQ(tevo::win::ImportRegistryText("REGEDIT4\n[-HKEY_CURRENT_USER]\n"),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(HiveText("HKCU.reg"), before);
}

}  // namespace
