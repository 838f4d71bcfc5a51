// Runs the reg program as people and scripts do, and checks its output, exit codes and
// what it leaves in the registry.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include "tevo/testing/run_program.h"

#include <string>
#include <vector>

#include "tevo/testing/temp_dir.h"
#include "tevo/win/registry.h"
#include "tevo/win/sysroot.h"

extern char** environ;

namespace {

using namespace std::string_literals;

using Outcome = tevo::testing::ProgramRun;

// Runs reg with the arguments, feeding `input` to its standard input.
Outcome Reg(const std::vector<std::string>& args, const std::string& input = "") {
    Outcome run = tevo::testing::RunProgram(TEVO_REG_PROGRAM, args, input);
    EXPECT_NE(run.exit_code, -1) << run.err;
    return run;
}

constexpr const char* kOk = "The operation completed successfully.\n";
constexpr const char* kNotFound =
    "ERROR: The system was unable to find the specified registry key or value.\n";

std::string QueryLine(const std::string& key, const std::string& name) {
    const Outcome run = Reg({"query", key, "/v", name});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    const std::string prefix = "\n" + key + "\n";
    EXPECT_EQ(run.out.rfind(prefix, 0), 0u) << run.out;
    if (run.out.size() < prefix.size() + 2) {
        return "";
    }
    return run.out.substr(prefix.size(), run.out.size() - prefix.size() - 2);
}

std::string StoredBytes(HKEY root, const char* key, const char* name, DWORD* type) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) {
        return "<no key>";
    }
    char data[256];
    DWORD size = sizeof data;
    const LONG status =
        RegQueryValueExA(opened, name, nullptr, type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(opened);
    return status == ERROR_SUCCESS ? std::string(data, size) : "<no value>";
}

TEST(RegProgram, AddAndQueryEveryType) {
    const std::string key = "HKEY_CURRENT_USER\\Software\\Reg";
    const std::string tricky = "say \"hi\" to C:\\dir\\ it's \xC3\xA9\xE2\x82\xAC";
    struct Case {
        std::vector<std::string> add;
        std::string line;
        DWORD type;
        std::string stored;
    };
    const std::vector<Case> cases = {
        {{"/v", "Text", "/d", tricky}, "    Text    REG_SZ    " + tricky, REG_SZ, tricky + '\0'},
        {{"/v", "Empty", "/d", ""}, "    Empty    REG_SZ    ", REG_SZ, "\0"s},
        {{"/ve", "/d", "default"}, "    (Default)    REG_SZ    default", REG_SZ, "default\0"s},
        {{"/v", "Count", "/t", "REG_DWORD", "/d", "0x1f"},
         "    Count    REG_DWORD    0x1f",
         REG_DWORD,
         "\x1f\0\0\0"s},
        {{"/v", "Dec", "/t", "reg_dword", "/d", "4294967295"},
         "    Dec    REG_DWORD    0xffffffff",
         REG_DWORD,
         "\xff\xff\xff\xff"s},
        {{"/v", "Big", "/t", "REG_QWORD", "/d", "0x100000000"},
         "    Big    REG_QWORD    0x100000000",
         REG_QWORD,
         "\0\0\0\0\x01\0\0\0"s},
        {{"/v", "Bin", "/t", "REG_BINARY", "/d", "00ff0A00"},
         "    Bin    REG_BINARY    00FF0A00",
         REG_BINARY,
         "\0\xff\x0a\0"s},
        {{"/v", "List", "/t", "REG_MULTI_SZ", "/d", "one\\0two\\0"},
         "    List    REG_MULTI_SZ    one\\0two",
         REG_MULTI_SZ,
         "one\0two\0\0"s},
        {{"/v", "Sep", "/t", "REG_MULTI_SZ", "/s", "#", "/d", "a#b"},
         "    Sep    REG_MULTI_SZ    a\\0b",
         REG_MULTI_SZ,
         "a\0b\0\0"s},
        {{"/v", "Exp", "/t", "REG_EXPAND_SZ", "/d", "%TEMP%\\x"},
         "    Exp    REG_EXPAND_SZ    %TEMP%\\x",
         REG_EXPAND_SZ,
         "%TEMP%\\x\0"s},
        {{"/v", "None", "/t", "REG_NONE", "/d", "0102"},
         "    None    REG_NONE    0102",
         REG_NONE,
         "\x01\x02"s},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"add", "HKCU\\Software\\Reg"};
        args.insert(args.end(), c.add.begin(), c.add.end());
        const Outcome run = Reg(args);
        EXPECT_EQ(run.exit_code, 0) << run.err;
        EXPECT_EQ(run.out, kOk);
        const std::string name = c.add[0] == "/ve" ? "" : c.add[1];
        if (name.empty()) {
            const Outcome query = Reg({"query", "hkcu\\software\\reg", "/ve"});
            EXPECT_EQ(query.out, "\nHKEY_CURRENT_USER\\software\\reg\n" + c.line + "\n\n");
        } else {
            EXPECT_EQ(QueryLine(key, name), c.line);
        }
        DWORD type = 0;
        EXPECT_EQ(StoredBytes(HKEY_CURRENT_USER, "Software\\Reg", name.c_str(), &type), c.stored)
            << name;
        EXPECT_EQ(type, c.type) << name;
    }
    const Outcome query = Reg({"query", "HKCU\\Software\\Reg", "/v", "List", "/se", "|"});
    EXPECT_NE(query.out.find("    List    REG_MULTI_SZ    one|two\n"), std::string::npos);
}

TEST(RegProgram, QueryListsValuesThenSubkeysAndRecurses) {
    ASSERT_EQ(Reg({"add", "HKLM\\SOFTWARE\\Q\\Sub1", "/v", "inner", "/d", "x"}).exit_code, 0);
    ASSERT_EQ(Reg({"add", "HKLM\\SOFTWARE\\Q\\sub0"}).exit_code, 0);
    ASSERT_EQ(Reg({"add", "HKLM\\SOFTWARE\\Q", "/v", "b", "/t", "REG_DWORD", "/d", "7"}).exit_code,
              0);
    ASSERT_EQ(Reg({"add", "HKLM\\SOFTWARE\\Q", "/v", "a", "/d", "text"}).exit_code, 0);

    Outcome run = Reg({"query", "HKLM\\SOFTWARE\\Q"});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.out,
              "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Q\n"
              "    b    REG_DWORD    0x7\n"
              "    a    REG_SZ    text\n"
              "\n"
              "HKEY_LOCAL_MACHINE\\SOFTWARE\\Q\\sub0\n"
              "HKEY_LOCAL_MACHINE\\SOFTWARE\\Q\\Sub1\n");
    run = Reg({"query", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Q", "/s"});
    EXPECT_EQ(run.out,
              "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Q\n"
              "    b    REG_DWORD    0x7\n"
              "    a    REG_SZ    text\n"
              "\n"
              "HKEY_LOCAL_MACHINE\\SOFTWARE\\Q\\sub0\n"
              "\n"
              "HKEY_LOCAL_MACHINE\\SOFTWARE\\Q\\Sub1\n"
              "    inner    REG_SZ    x\n"
              "\n");
    run = Reg({"query", "HKLM\\SOFTWARE\\Q", "/v", "inner", "/s"});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.out,
              "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Q\\Sub1\n"
              "    inner    REG_SZ    x\n"
              "\nEnd of search: 1 match(es) found.\n");
    // HKEY_CLASSES_ROOT shows SOFTWARE\Classes.
    ASSERT_EQ(Reg({"add", "HKLM\\SOFTWARE\\Classes\\.ext", "/ve", "/d", "File"}).exit_code, 0);
    run = Reg({"query", "HKCR\\.ext", "/ve"});
    EXPECT_EQ(run.out, "\nHKEY_CLASSES_ROOT\\.ext\n    (Default)    REG_SZ    File\n\n");

    run = Reg({"query", "HKLM\\SOFTWARE\\Q", "/ve"});
    EXPECT_EQ(run.out,
              "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Q\n    (Default)    REG_SZ    (value not set)\n\n");
    run = Reg({"query", "HKLM\\SOFTWARE\\Missing"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, kNotFound);
    EXPECT_EQ(run.out, "");
    run = Reg({"query", "HKLM\\SOFTWARE\\Q", "/v", "missing"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, kNotFound);
}

TEST(RegProgram, OverwriteAndDeleteAskUnlessForced) {
    ASSERT_EQ(Reg({"add", "HKCU\\Software\\Ask", "/v", "v", "/d", "first"}).exit_code, 0);
    // No, the end of input, and an answer after a wrong one.
    Outcome run = Reg({"add", "HKCU\\Software\\Ask", "/v", "v", "/d", "second"}, "no\n");
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.out,
              "Value v exists, overwrite(Yes/No)? The operation was canceled by the user.\n");
    run = Reg({"add", "HKCU\\Software\\Ask", "/v", "v", "/d", "second"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(QueryLine("HKEY_CURRENT_USER\\Software\\Ask", "v"), "    v    REG_SZ    first");
    run = Reg({"add", "HKCU\\Software\\Ask", "/v", "v", "/d", "second"}, "maybe\nYES\n");
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.out, "Value v exists, overwrite(Yes/No)? Value v exists, overwrite(Yes/No)? " +
                           std::string(kOk));
    EXPECT_EQ(QueryLine("HKEY_CURRENT_USER\\Software\\Ask", "v"), "    v    REG_SZ    second");
    run = Reg({"add", "HKCU\\Software\\Ask", "/v", "v", "/d", "third", "/f"});
    EXPECT_EQ(run.out, kOk);
    EXPECT_EQ(QueryLine("HKEY_CURRENT_USER\\Software\\Ask", "v"), "    v    REG_SZ    third");

    ASSERT_EQ(Reg({"add", "HKCU\\Software\\Ask", "/v", "w", "/d", "x"}).exit_code, 0);
    ASSERT_EQ(Reg({"add", "HKCU\\Software\\Ask\\Sub", "/ve", "/d", "x"}).exit_code, 0);
    run = Reg({"delete", "HKCU\\Software\\Ask", "/v", "v"}, "n\n");
    EXPECT_EQ(run.out,
              "Delete the registry value v (Yes/No)? The operation was canceled by the user.\n");
    run = Reg({"delete", "HKCU\\Software\\Ask", "/v", "v"}, "y\n");
    EXPECT_EQ(run.exit_code, 0);
    run = Reg({"delete", "HKCU\\Software\\Ask", "/v", "v", "/f"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, kNotFound);
    run = Reg({"delete", "HKCU\\Software\\Ask", "/va", "/f"});
    EXPECT_EQ(run.out, kOk);
    EXPECT_EQ(Reg({"query", "HKCU\\Software\\Ask"}).out,
              "\nHKEY_CURRENT_USER\\Software\\Ask\\Sub\n");
    run = Reg({"delete", "HKCU\\Software\\Ask\\Sub", "/ve", "/f"});
    EXPECT_EQ(run.out, kOk);
    run = Reg({"delete", "HKCU\\Software\\Ask"});
    EXPECT_EQ(run.out,
              "Permanently delete the registry key HKEY_CURRENT_USER\\Software\\Ask (Yes/No)? \n"
              "The operation was canceled by the user.\n");
    run = Reg({"delete", "HKCU\\Software\\Ask", "/f"});
    EXPECT_EQ(run.out, kOk);
    EXPECT_EQ(Reg({"query", "HKCU\\Software\\Ask"}).exit_code, 1);
    EXPECT_EQ(Reg({"delete", "HKCU\\Software\\Ask", "/f"}).err, kNotFound);
}

TEST(RegProgram, ExportAndImportRoundTrip) {
    const std::string tricky = "quote \" backslash \\ apostrophe ' \xC3\xA9";
    ASSERT_EQ(Reg({"add", "HKCU\\Software\\Ex", "/v", tricky, "/d", tricky}).exit_code, 0);
    ASSERT_EQ(Reg({"add", "HKCU\\Software\\Ex", "/v", "empty", "/d", ""}).exit_code, 0);
    ASSERT_EQ(
        Reg({"add", "HKCU\\Software\\Ex\\Sub", "/v", "bin", "/t", "REG_BINARY", "/d", "0001000200"})
            .exit_code,
        0);
    ASSERT_EQ(
        Reg({"add", "HKCU\\Software\\Ex\\Sub", "/v", "n", "/t", "REG_DWORD", "/d", "31"}).exit_code,
        0);
    // A string without its terminator, as only the API can write it.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Ex", 0, KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "bare", 0, REG_SZ, reinterpret_cast<const BYTE*>("ab"), 2),
              ERROR_SUCCESS);
    RegCloseKey(key);

    const auto file = tevo::testing::CurrentSystemRoot() / "ex.reg";
    Outcome run = Reg({"export", "HKCU\\Software\\Ex", file.string()});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out, kOk);
    const std::string exported = tevo::testing::ReadFile(file);
    EXPECT_EQ(exported,
              "REGEDIT4\n\n"
              "[HKEY_CURRENT_USER\\Software\\Ex]\n"
              "\"quote \\\" backslash \\\\ apostrophe ' \xC3\xA9\"=\"quote \\\" backslash \\\\ "
              "apostrophe ' \xC3\xA9\"\n"
              "\"empty\"=\"\"\n"
              "\"bare\"=hex(1):61,62\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Ex\\Sub]\n"
              "\"bin\"=hex:00,01,00,02,00\n"
              "\"n\"=dword:0000001f\n"
              "\n");
    const Outcome before = Reg({"query", "HKCU\\Software\\Ex", "/s"});

    // Exporting over an existing file asks first.
    run = Reg({"export", "HKCU\\Software\\Ex", file.string()}, "");
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(Reg({"export", "HKCU\\Software\\Ex", file.string(), "/y"}).exit_code, 0);

    ASSERT_EQ(Reg({"delete", "HKCU\\Software\\Ex", "/f"}).exit_code, 0);
    run = Reg({"import", file.string()});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out, kOk);
    EXPECT_EQ(Reg({"query", "HKCU\\Software\\Ex", "/s"}).out, before.out);
    DWORD type = 0;
    EXPECT_EQ(StoredBytes(HKEY_CURRENT_USER, "Software\\Ex", "bare", &type), "ab");

    const auto bad = tevo::testing::WriteFile(tevo::testing::CurrentSystemRoot() / "bad.reg",
                                              "REGEDIT4\n[HKCU\\X]\n\"v\"=broken\n");
    run = Reg({"import", bad.string()});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, "ERROR: Error accessing the registry.\n" + bad.string() +
                           ", line 3: bad value data\n");
    run = Reg({"import", (tevo::testing::CurrentSystemRoot() / "none.reg").string()});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err,
              "ERROR: Error opening the file. There may be a disk or file system error.\n");
}

TEST(RegProgram, HelpSyntaxErrorsAndKeyNames) {
    Outcome run = Reg({"/?"});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_NE(run.out.find("REG Operation [Parameter List]"), std::string::npos);
    run = Reg({"ADD", "/?"});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_NE(run.out.find("REG ADD KeyName"), std::string::npos);
    for (const char* op : {"query", "delete", "export", "import"}) {
        run = Reg({op, "/?"});
        EXPECT_EQ(run.exit_code, 0) << op;
        EXPECT_NE(run.out.find("REG "), std::string::npos) << op;
    }

    run = Reg({});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, "ERROR: Invalid syntax.\nType \"REG /?\" for usage.\n");
    run = Reg({"frobnicate"});
    EXPECT_EQ(run.exit_code, 1);
    run = Reg({"add", "HKCU\\Software\\S", "/v", "a", "/ve"});
    EXPECT_EQ(run.err, "ERROR: Invalid syntax.\nType \"REG ADD /?\" for usage.\n");
    run = Reg({"add", "HKCU\\Software\\S", "/v", "a", "/t", "REG_DWORD", "/d", "12x"});
    EXPECT_EQ(run.exit_code, 1);
    run = Reg({"add", "HKCU\\Software\\S", "/v", "a", "/t", "REG_DWORD", "/d", "4294967296"});
    EXPECT_EQ(run.exit_code, 1);
    run = Reg({"add", "HKCU\\Software\\S", "/v", "a", "/t", "REG_BINARY", "/d", "abc"});
    EXPECT_EQ(run.exit_code, 1);
    run = Reg({"add", "HKCU\\Software\\S", "/v", "a", "/t", "REG_WHATEVER"});
    EXPECT_EQ(run.exit_code, 1);
    run = Reg({"query", "HKCU\\Software", "/unknown"});
    EXPECT_EQ(run.err, "ERROR: Invalid syntax.\nType \"REG QUERY /?\" for usage.\n");
    // Nothing was created by the refused commands.
    EXPECT_EQ(Reg({"query", "HKCU\\Software\\S"}).exit_code, 1);

    run = Reg({"query", "HKU\\Software"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, "ERROR: Invalid key name.\nType \"REG QUERY /?\" for usage.\n");
    run = Reg({"delete", "HKLM", "/f"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, "ERROR: Invalid key name.\nType \"REG DELETE /?\" for usage.\n");
    // Long root names, any case, and a trailing backslash.
    run = Reg({"add", "hkey_local_machine\\SOFTWARE\\Long\\", "/v", "x", "/d", "1"});
    EXPECT_EQ(run.exit_code, 0);
    DWORD type = 0;
    EXPECT_EQ(StoredBytes(HKEY_LOCAL_MACHINE, "SOFTWARE\\Long", "x", &type), "1\0"s);
}

TEST(RegProgram, DamagedHiveIsReportedAndKept) {
    const auto hive = tevo::testing::WriteFile(tevo::win::RegistryDirectory() / "HKCU.reg",
                                               "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\n");
    Outcome run = Reg({"add", "HKCU\\Software\\X", "/v", "v", "/d", "1", "/f"});
    EXPECT_EQ(run.exit_code, 1);
    const std::string where = hive.string() + ", line 3: a key name must be enclosed in [ ]\n";
    EXPECT_EQ(run.err, "ERROR: The configuration registry database is corrupt.\n" + where);
    run = Reg({"query", "HKCU\\Software"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, "ERROR: The configuration registry database is corrupt.\n" + where);
    EXPECT_EQ(tevo::testing::ReadFile(hive), "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\n");
}

TEST(RegProgram, FailedImportsNameTheFileAndLine) {
    const auto root = tevo::testing::CurrentSystemRoot();
    const auto unknown = tevo::testing::WriteFile(
        root / "unknown.reg", "REGEDIT4\n\n[HKCU\\Software\\A]\n\"v\"=\"1\"\n[HKU\\X]\n");
    Outcome run = Reg({"import", unknown.string()});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, "ERROR: Error accessing the registry.\n" + unknown.string() +
                           ", line 5: unknown root key HKU\n");
    EXPECT_EQ(Reg({"query", "HKCU\\Software\\A"}).exit_code, 1);

    // A hive of this registry cut short after a complete section: the import names the
    // hive, where its end marker is missing.
    ASSERT_EQ(Reg({"add", "HKCU\\Software\\A", "/v", "v", "/d", "1"}).exit_code, 0);
    ASSERT_EQ(Reg({"add", "HKCU\\Software\\B", "/v", "v", "/d", "2"}).exit_code, 0);
    const auto hive = tevo::win::RegistryDirectory() / "HKCU.reg";
    const std::string whole = tevo::testing::ReadFile(hive);
    const size_t cut = whole.find("[HKEY_CURRENT_USER\\Software\\B]");
    ASSERT_NE(cut, std::string::npos) << whole;
    tevo::testing::WriteFile(hive, whole.substr(0, cut));
    const auto good = tevo::testing::WriteFile(root / "good.reg",
                                               "REGEDIT4\n\n[HKCU\\Software\\C]\n\"v\"=\"3\"\n");
    run = Reg({"import", good.string()});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, "ERROR: Error accessing the registry.\n" + hive.string() +
                           ", line 9: the hive ends without its end marker\n");
    EXPECT_EQ(tevo::testing::ReadFile(hive), whole.substr(0, cut));
    run = Reg({"query", "HKCU\\Software\\A"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, "ERROR: The configuration registry database is corrupt.\n" + hive.string() +
                           ", line 9: the hive ends without its end marker\n");
}

TEST(RegProgram, AddRefusesKeysBeyondTheLimits) {
    std::string deep = "HKCU\\Software";
    for (int level = 2; level <= 513; ++level) {
        deep += "\\k";
    }
    Outcome run = Reg({"add", deep, "/v", "v", "/d", "1", "/f"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, "ERROR: The parameter is incorrect.\n");
    EXPECT_EQ(Reg({"query", "HKCU\\Software"}).exit_code, 1);  // nothing was created
    run = Reg({"add", deep.substr(0, deep.size() - 2), "/v", "v", "/d", "1", "/f"});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    run = Reg({"add", "HKCU\\Software\\" + std::string(256, 'n')});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, "ERROR: The parameter is incorrect.\n");
}

TEST(RegProgram, ImportTakesOnlyRegularFilesUpTo64MiB) {
    const std::string open_error =
        "ERROR: Error opening the file. There may be a disk or file system error.\n";
    for (const std::string& special :
         {std::string("/dev/null"), tevo::testing::CurrentSystemRoot().string()}) {
        const Outcome run = Reg({"import", special});
        EXPECT_EQ(run.exit_code, 1) << special;
        EXPECT_EQ(run.err, open_error + special + ": not a regular file\n");
    }
    // A sparse file of exactly the limit imports; one byte more does not.
    constexpr off_t kLimit = 64 << 20;
    const auto file = tevo::testing::WriteFile(tevo::testing::CurrentSystemRoot() / "big.reg",
                                               "REGEDIT4\n[HKCU\\Software\\Big]\n\"v\"=\"1\"\n;");
    ASSERT_EQ(truncate(file.c_str(), kLimit), 0);
    Outcome run = Reg({"import", file.string()});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(QueryLine("HKEY_CURRENT_USER\\Software\\Big", "v"), "    v    REG_SZ    1");
    ASSERT_EQ(Reg({"delete", "HKCU\\Software\\Big", "/f"}).exit_code, 0);
    ASSERT_EQ(truncate(file.c_str(), kLimit + 1), 0);
    run = Reg({"import", file.string()});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, open_error + file.string() +
                           ": larger than the 64 MiB (67108864 bytes) that reg imports\n");
    EXPECT_EQ(Reg({"query", "HKCU\\Software\\Big"}).exit_code, 1);
}

}  // namespace
