// Runs the regsvr program on the test servers and checks its output, its exit codes and
// the registry it leaves behind.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include "tevo/testing/run_program.h"

#include <filesystem>
#include <string>
#include <vector>

#include "../activation/activation_test_support.h"
#include "tevo/com/com_ptr.h"
#include "tevo/com/memory.h"
#include "tevo/testing/temp_dir.h"

extern char** environ;

namespace {

using tevo::com::ComPtr;
using namespace tevo::com::testing;

using Outcome = tevo::testing::ProgramRun;

// Runs regsvr with the arguments in the given working directory (empty: this process's).
Outcome RunRegsvr(const std::vector<std::string>& args, const std::filesystem::path& cwd = {}) {
    Outcome run = tevo::testing::RunProgram(TEVO_REGSVR_PROGRAM, args, "", cwd);
    EXPECT_NE(run.exit_code, -1) << run.err;
    return run;
}

bool TestServerKeysExist() {
    return ClassesRootKeyExists(kActivationTestProgId) &&
           ClassesRootKeyExists(kActivationTestVersionIndependentProgId) &&
           ClassesRootKeyExists(TestClassKey() + "\\InprocServer32");
}

bool AnyTestServerKeyExists() {
    return ClassesRootKeyExists(kActivationTestProgId) ||
           ClassesRootKeyExists(kActivationTestVersionIndependentProgId) ||
           ClassesRootKeyExists(TestClassKey());
}

std::string RegisteredServerPath() {
    char path[4096] = {};
    DWORD size = sizeof path;
    const std::string key = TestClassKey() + "\\InprocServer32";
    EXPECT_EQ(
        RegGetValueA(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, path, &size),
        ERROR_SUCCESS);
    return path;
}

using Regsvr = ActivationTest;

TEST_F(Regsvr, RegistersAServerThatClientsThenCreateAndUnregistersIt) {
    const std::string server = kTestServer.string();
    const Outcome registered = RunRegsvr({server});
    EXPECT_EQ(registered.exit_code, 0) << registered.err;
    EXPECT_EQ(registered.out, "DllRegisterServer in " + server + " succeeded.\n");
    EXPECT_EQ(registered.err, "");
    ASSERT_TRUE(TestServerKeysExist());
    EXPECT_EQ(RegisteredServerPath(), server);

    CLSID clsid = CLSID_NULL;
    ASSERT_EQ(CLSIDFromProgID(L"Tevo.ActivationTest", &clsid), S_OK);
    ComPtr<IActivationTest> object;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IActivationTest,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    LONG sum = 0;
    EXPECT_EQ(object->Add(40, 2, &sum), S_OK);
    EXPECT_EQ(sum, 42);
    object.Reset();
    LPOLESTR progid = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(clsid, &progid), S_OK);
    EXPECT_EQ(std::wstring(progid), L"Tevo.ActivationTest.1");
    CoTaskMemFree(progid);

    const Outcome unregistered = RunRegsvr({"/u", server});
    EXPECT_EQ(unregistered.exit_code, 0) << unregistered.err;
    EXPECT_EQ(unregistered.out, "DllUnregisterServer in " + server + " succeeded.\n");
    EXPECT_FALSE(AnyTestServerKeyExists());
    EXPECT_TRUE(ClassesRootKeyExists("CLSID"));
    EXPECT_EQ(CLSIDFromProgID(L"Tevo.ActivationTest", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CoCreateInstance(CLSID_ActivationTest, nullptr, CLSCTX_ALL, IID_IActivationTest,
                               reinterpret_cast<void**>(&object)),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(ProgIDFromCLSID(CLSID_ActivationTest, &progid), REGDB_E_CLASSNOTREG);
}

TEST_F(Regsvr, DashOptionsAndSilence) {
    const std::string server = kTestServer.string();
    const Outcome registered = RunRegsvr({"-s", server});
    EXPECT_EQ(registered.exit_code, 0);
    EXPECT_EQ(registered.out + registered.err, "");
    EXPECT_TRUE(TestServerKeysExist());

    const Outcome unregistered = RunRegsvr({server, "-U", "/S"});
    EXPECT_EQ(unregistered.exit_code, 0);
    EXPECT_EQ(unregistered.out + unregistered.err, "");
    EXPECT_FALSE(AnyTestServerKeyExists());
}

TEST_F(Regsvr, ARelativeNameIsTakenFromTheCurrentDirectoryAndRegisteredWithItsFullPath) {
    const Outcome run = RunRegsvr({kTestServer.filename().string()}, kTestServer.parent_path());
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out, "DllRegisterServer in " + kTestServer.filename().string() + " succeeded.\n");
    EXPECT_EQ(RegisteredServerPath(), kTestServer.string());
}

TEST_F(Regsvr, FailuresHaveTheirExitCodes) {
    const std::string missing = (tevo::testing::CurrentSystemRoot() / "libmissing.so").string();
    const Outcome not_loaded = RunRegsvr({missing});
    EXPECT_EQ(not_loaded.exit_code, 3);
    EXPECT_EQ(not_loaded.err, "LoadLibrary(\"" + missing +
                                  "\") failed - The specified module could not be found.\n");
    EXPECT_EQ(not_loaded.out, "");

    const std::string no_server = kLibraryWithoutServer.string();
    const Outcome no_entry = RunRegsvr({no_server});
    EXPECT_EQ(no_entry.exit_code, 4);
    EXPECT_EQ(no_entry.err, "The module \"" + no_server +
                                "\" was loaded but the entry point DllRegisterServer was not "
                                "found.\n");
    const std::string limited = kLimitedTestServer.string();
    const Outcome no_unregister = RunRegsvr({"/u", limited});
    EXPECT_EQ(no_unregister.exit_code, 4);
    EXPECT_NE(no_unregister.err.find("entry point DllUnregisterServer was not found"),
              std::string::npos)
        << no_unregister.err;

    const Outcome failed = RunRegsvr({limited});
    EXPECT_EQ(failed.exit_code, 5);
    EXPECT_EQ(failed.err,
              "DllRegisterServer in " + limited + " failed. Return code was: 0x80004005\n");
    EXPECT_EQ(failed.out, "");

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"/s", missing}, {"/s", no_server}, {"/s", limited}}) {
        const Outcome silent = RunRegsvr(args);
        EXPECT_NE(silent.exit_code, 0);
        EXPECT_EQ(silent.out + silent.err, "") << args.back();
    }
}

TEST_F(Regsvr, UsageAndCommandLineErrors) {
    const Outcome help = RunRegsvr({"/?"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_EQ(help.out.rfind("Usage: regsvr [/u] [/s] LIBRARY\n", 0), 0u) << help.out;
    EXPECT_EQ(RunRegsvr({"-?"}).out, help.out);

    const Outcome nothing = RunRegsvr({});
    EXPECT_EQ(nothing.exit_code, 1);
    EXPECT_NE(nothing.err.find("Usage: regsvr"), std::string::npos);

    const Outcome unknown = RunRegsvr({"/x", kTestServer.string()});
    EXPECT_EQ(unknown.exit_code, 1);
    EXPECT_EQ(unknown.err.rfind("regsvr: Unrecognized flag: /x\n", 0), 0u) << unknown.err;

    const Outcome two = RunRegsvr({kTestServer.string(), kLimitedTestServer.string()});
    EXPECT_EQ(two.exit_code, 1);
    EXPECT_FALSE(AnyTestServerKeyExists());
}

}  // namespace
