// The ivi-config program, run as a child process in the test's system root.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tevo/testing/run_program.h"
#include "tevo/testing/temp_dir.h"

namespace {

using tevo::testing::RunProgram;

tevo::testing::ProgramRun Config(const std::vector<std::string>& args) {
    return RunProgram(TEVO_IVI_CONFIG_PROGRAM, args);
}

TEST(IviConfigTest, HelpOnTheProgramAndOnEachCommand) {
    const auto program = Config({"--help"});
    EXPECT_EQ(program.exit_code, 0);
    EXPECT_NE(program.out.find("Usage: ivi-config [--store FILE] COMMAND"), std::string::npos);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"list", "--help"},
                                                 {"show", "--help"},
                                                 {"remove", "--help"},
                                                 {"add", "--help"},
                                                 {"add", "software-module", "--help"},
                                                 {"add", "driver-session", "--help"}}) {
        const auto run = Config(args);
        EXPECT_EQ(run.exit_code, 0) << args[0];
        EXPECT_NE(run.out.find("Usage: ivi-config"), std::string::npos) << args[0];
    }
    EXPECT_NE(Config({"add", "software-module", "--help"}).out.find("--physical-name"),
              std::string::npos);
}

TEST(IviConfigTest, BadUsageAndFailuresExitNonZeroWithAMessage) {
    tevo::testing::TempDir dir;
    const std::string store = (dir / "s.xml").string();
    auto run = Config({"--store", store, "frobnicate"});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_NE(run.err.find("unknown command 'frobnicate'"), std::string::npos);
    run = Config({"--store", store, "add", "hardware-asset", "A"});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_NE(run.err.find("--resource is required"), std::string::npos);
    run = Config({"--store", store, "add", "driver-session", "S", "--hardware-asset", "A",
                  "--software-module", "M", "--cache", "maybe"});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_NE(run.err.find("true or false"), std::string::npos);
    // References to entries that do not exist.
    run = Config({"--store", store, "add", "logical-name", "L", "--session", "nope"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("no session nope"), std::string::npos);
    run = Config({"--store", store, "remove", "hardware-asset", "nope"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("does not exist"), std::string::npos);
    // A broken store is reported and left as it is.
    const std::string broken = (dir / "broken.xml").string();
    tevo::testing::WriteFile(broken, "<IviConfigStore>\n<Name>\n");
    run = Config({"--store", broken, "add", "hardware-asset", "A", "--resource", "X"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("Deserialize failed"), std::string::npos) << run.err;
    EXPECT_EQ(tevo::testing::ReadFile(broken), "<IviConfigStore>\n<Name>\n");
}

TEST(IviConfigTest, MasterStoreRoundTripAndExistingEntriesStayUnlessReplaced) {
    ASSERT_EQ(
        Config({"add", "hardware-asset", "Bench", "--resource", "GPIB0::20::INSTR"}).exit_code, 0);
    ASSERT_EQ(Config({"add", "software-module", "Tevo.Software", "--progid", "Tevo.Tevo",
                      "--prefix", "Tevo", "--physical-name", "Trace:Trace:range1:1:6",
                      "--published-api", "IviDriver:1.0:IVI-COM"})
                  .exit_code,
              0);
    ASSERT_EQ(Config({"add", "driver-session", "Tevo.DriverSession", "--hardware-asset", "Bench",
                      "--software-module", "Tevo.Software", "--range-check", "false",
                      "--virtual-name", "Tr1=SpecAnTrace1"})
                  .exit_code,
              0);
    ASSERT_EQ(Config({"add", "logical-name", "Tevo", "--session", "Tevo.DriverSession"}).exit_code,
              0);
    // An add of an existing name changes nothing; --replace does.
    auto run = Config({"add", "hardware-asset", "Bench", "--resource", "OTHER"});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_NE(Config({"show", "hardware-asset", "Bench"}).out.find("GPIB0::20::INSTR"),
              std::string::npos);
    EXPECT_EQ(Config({"add", "logical-name", "Tevo", "--session", "Tevo.DriverSession",
                      "--description", "new", "--replace"})
                  .exit_code,
              0);
    EXPECT_NE(Config({"show", "logical-name", "Tevo"}).out.find("Description: new"),
              std::string::npos);
    run = Config({"show", "driver-session", "Tevo.DriverSession"});
    EXPECT_NE(run.out.find("RangeCheck: false"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Cache: true"), std::string::npos);
    EXPECT_NE(run.out.find("VirtualName: Tr1=SpecAnTrace1"), std::string::npos);
    // Removing the module leaves the session, which remembers the name.
    EXPECT_EQ(Config({"remove", "software-module", "Tevo.Software"}).exit_code, 0);
    EXPECT_NE(Config({"show", "driver-session", "Tevo.DriverSession"})
                  .out.find("SoftwareModuleName: Tevo.Software"),
              std::string::npos);
    EXPECT_EQ(Config({"list", "software-module"}).out, "");
    EXPECT_EQ(Config({"list", "published-api"}).out, "IviDriver 1.0 IVI-COM\n");
}

TEST(IviConfigTest, ConcurrentAddersLoseNothing) {
    tevo::testing::TempDir dir;
    const std::string store = (dir / "shared.xml").string();
    constexpr int kProcesses = 4;
    constexpr int kEach = 5;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int failures = 0;
            for (int i = 0; i < kEach; ++i) {
                const std::string name = "A" + std::to_string(p) + "_" + std::to_string(i);
                failures += Config({"--store", store, "add", "hardware-asset", name, "--resource",
                                    "TCPIP0::host" + name + "::INSTR"})
                                .exit_code != 0;
            }
            _exit(failures);
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const auto list = Config({"--store", store, "list", "hardware-asset"});
    ASSERT_EQ(list.exit_code, 0) << list.err;
    for (int p = 0; p < kProcesses; ++p) {
        for (int i = 0; i < kEach; ++i) {
            const std::string name = "A" + std::to_string(p) + "_" + std::to_string(i);
            EXPECT_NE(list.out.find(name + "\n"), std::string::npos) << name;
        }
    }
}

TEST(IviConfigTest, TextTheStoreCannotHoldIsRefusedAndNothingIsWritten) {
    tevo::testing::TempDir dir;
    const std::string store = (dir / "s.xml").string();
    // An entry whose name is U+FFFD itself, well-formed.
    ASSERT_EQ(Config({"--store", store, "add", "hardware-asset", "\xEF\xBF\xBD", "--resource",
                      "GPIB0::1::INSTR"})
                  .exit_code,
              0);
    const std::string before = tevo::testing::ReadFile(store);

    auto run = Config(
        {"--store", store, "add", "hardware-asset", std::string("A\x01") + "B", "--resource", "X"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("U+0001 at position 2 is a control character, which names cannot hold"),
              std::string::npos)
        << run.err;
    run = Config({"--store", store, "add", "hardware-asset", "B", "--resource", "X",
                  "--description", "bell\x07"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("U+0007"), std::string::npos) << run.err;

    // Malformed UTF-8 is a usage error; it must not reach, or remove, the U+FFFD entry.
    run = Config({"--store", store, "add", "hardware-asset", "A\xFF", "--resource", "X"});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_NE(run.err.find("the argument 'A\\xFF' is not valid UTF-8"), std::string::npos)
        << run.err;
    run = Config({"--store", store, "remove", "hardware-asset", "\xFE"});
    EXPECT_EQ(run.exit_code, 2);
    run = Config({"--store", store, "add", "hardware-asset", "C", "--resource", "X",
                  "--description", "caf\xE9"});
    EXPECT_EQ(run.exit_code, 2);

    EXPECT_EQ(tevo::testing::ReadFile(store), before);
    EXPECT_EQ(Config({"--store", store, "list", "hardware-asset"}).out, "\xEF\xBF\xBD\n");
}

TEST(IviConfigTest, FolderAsStoreAndRepeatedOptionsAreUsageErrors) {
    tevo::testing::TempDir dir;
    const std::string folder = (dir / "folder").string();
    std::filesystem::create_directories(folder);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--store", folder, "list"},
          {"--store", folder, "add", "hardware-asset", "A", "--resource", "X"},
          {"--store", folder + "/", "list"}}) {
        const auto run = Config(args);
        EXPECT_EQ(run.exit_code, 2) << args.size();
        EXPECT_EQ(run.err, "ivi-config: --store names a folder, not a store file: '" + args[1] +
                               "'\nRun 'ivi-config --help' for usage.\n");
    }
    // Nothing was created beside the folder either (no lock file).
    EXPECT_FALSE(std::filesystem::exists(folder + ".lock"));

    const std::string store = (dir / "s.xml").string();
    auto run = Config(
        {"--store", store, "add", "hardware-asset", "A", "--resource", "X", "--resource", "Y"});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_NE(run.err.find("--resource is given twice"), std::string::npos) << run.err;
    run = Config({"--store", store, "add", "logical-name", "L", "--session", "S", "--description",
                  "a", "--description", "b"});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_NE(run.err.find("--description is given twice"), std::string::npos) << run.err;
    run = Config({"--store", store, "--store", store, "list"});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_NE(run.err.find("--store is given twice"), std::string::npos) << run.err;
    run = Config({"--store"});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_NE(run.err.find("--store needs a FILE"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(store));

    // The options meant to repeat still do.
    ASSERT_EQ(
        Config({"--store", store, "add", "software-module", "M", "--progid", "P", "--published-api",
                "IviDriver:1.0:IVI-COM", "--published-api", "IviSpecAn:3.0:IVI-COM"})
            .exit_code,
        0);
    EXPECT_EQ(Config({"--store", store, "list", "published-api"}).out,
              "IviDriver 1.0 IVI-COM\nIviSpecAn 3.0 IVI-COM\n");
}

}  // namespace
