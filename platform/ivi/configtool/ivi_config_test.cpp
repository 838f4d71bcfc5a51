// The ivi-config program, run as a child process in the test's system root.
#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <iterator>
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

// A store with one software module and one driver session to add contained entries to.
class IviConfigContained : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(Run({"add", "hardware-asset", "A", "--resource", "GPIB0::1::INSTR"}).exit_code,
                  0);
        ASSERT_EQ(Run({"add", "software-module", "M", "--progid", "P.P"}).exit_code, 0);
        ASSERT_EQ(
            Run({"add", "driver-session", "S", "--hardware-asset", "A", "--software-module", "M"})
                .exit_code,
            0);
    }
    tevo::testing::ProgramRun Run(std::vector<std::string> args, const std::string& input = "") {
        args.insert(args.begin(), {"--store", store_});
        return RunProgram(TEVO_IVI_CONFIG_PROGRAM, args, input);
    }
    std::string Store() const { return tevo::testing::ReadFile(store_); }

    tevo::testing::TempDir dir_;
    std::string store_ = (dir_ / "s.xml").string();
};

TEST_F(IviConfigContained, PhysicalNamesAndRangesAreAddedWhenMissingAndKeptWhenPresent) {
    auto run = Run({"add", "physical-name", "Trace", "--software-module", "M", "--rc-name", "Trace",
                    "--range", "range1:1:6"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out,
              "physical-name Trace added to software module M\n"
              "range range1 added to physical-name Trace\n");
    EXPECT_NE(
        Run({"show", "software-module", "M"}).out.find("PhysicalName: Trace:Trace:range1:1:6\n"),
        std::string::npos);

    // Again with other values: nothing changes, not even the file, and the exit code is 0.
    const std::string before = Store();
    run = Run({"add", "physical-name", "Trace", "--software-module", "M", "--rc-name", "Other",
               "--range", "range1:2:9"});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out,
              "physical-name Trace exists already in software module M; left unchanged\n"
              "range range1 of physical-name Trace exists already; left unchanged\n");
    EXPECT_EQ(Store(), before);

    // A missing range is added to the existing physical name, which keeps its RC name.
    run = Run({"add", "physical-name", "Trace", "--software-module", "M", "--rc-name", "Other",
               "--range", "range1:0:0", "--range", "range2:7:8"});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.out.find("range range2 added to physical-name Trace\n"), std::string::npos);
    const auto shown = Run({"show", "software-module", "M"}).out;
    EXPECT_NE(shown.find("PhysicalName: Trace:Trace:range1:1:6:range2:7:8\n"), std::string::npos)
        << shown;

    // A physical name without ranges, and one in a module that does not exist.
    EXPECT_EQ(Run({"add", "physical-name", "Marker", "--software-module", "M", "--rc-name", "Mk"})
                  .exit_code,
              0);
    EXPECT_NE(Run({"show", "software-module", "M"}).out.find("PhysicalName: Marker:Mk\n"),
              std::string::npos);
    const std::string with_marker = Store();
    run = Run({"add", "physical-name", "X", "--software-module", "nope", "--rc-name", "X"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("no software module nope"), std::string::npos) << run.err;
    EXPECT_EQ(Store(), with_marker);
}

TEST_F(IviConfigContained, PublishedApisGoToTheGlobalListAndToAModuleEachWhenMissing) {
    auto run = Run({"add", "published-api", "IviDriver:1.0:IVI-COM"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out, "published-api IviDriver:1.0:IVI-COM added to the store's list\n");
    EXPECT_EQ(Run({"list", "published-api"}).out, "IviDriver 1.0 IVI-COM\n");
    EXPECT_EQ(Run({"show", "software-module", "M"}).out.find("PublishedAPI:"), std::string::npos);

    run = Run({"add", "published-api", "IviDriver:1.0:IVI-COM", "--software-module", "M"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out,
              "published-api IviDriver:1.0:IVI-COM exists already in the store's list; left "
              "unchanged\n"
              "published-api IviDriver:1.0:IVI-COM added to software module M\n");
    run = Run({"add", "published-api", "IviSpecAn:1.0:IVI-COM", "--software-module", "M"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out,
              "published-api IviSpecAn:1.0:IVI-COM added to the store's list\n"
              "published-api IviSpecAn:1.0:IVI-COM added to software module M\n");

    const std::string before = Store();
    run = Run({"add", "published-api", "IviSpecAn:1.0:IVI-COM", "--software-module", "M"});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_NE(run.out.find("exists already in software module M; left unchanged"),
              std::string::npos);
    EXPECT_EQ(Store(), before);
    EXPECT_EQ(Run({"list", "published-api"}).out, "IviDriver 1.0 IVI-COM\nIviSpecAn 1.0 IVI-COM\n");
    const auto shown = Run({"show", "software-module", "M"}).out;
    EXPECT_NE(
        shown.find("PublishedAPI: IviDriver 1.0 IVI-COM\nPublishedAPI: IviSpecAn 1.0 IVI-COM\n"),
        std::string::npos)
        << shown;

    // Another version or type is another API; a missing module changes nothing.
    EXPECT_EQ(Run({"add", "published-api", "IviDriver:2.0:IVI-C"}).exit_code, 0);
    const std::string three = Store();
    run = Run({"add", "published-api", "IviNew:1.0:IVI-COM", "--software-module", "nope"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("no software module nope"), std::string::npos) << run.err;
    EXPECT_EQ(Store(), three);
    EXPECT_EQ(Run({"add", "published-api", "IviDriver:1:IVI-COM"}).exit_code, 2);
}

TEST_F(IviConfigContained, VirtualNamesAreAddedToAnExistingSessionWhenMissing) {
    auto run = Run({"add", "virtual-name", "Tr1=SpecAnTrace1", "--driver-session", "S"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out, "virtual-name Tr1 added to driver session S\n");
    EXPECT_EQ(Run({"add", "virtual-name", "Trace1=Trace1", "--driver-session", "S"}).exit_code, 0);

    const std::string before = Store();
    run = Run({"add", "virtual-name", "Tr1=Elsewhere", "--driver-session", "S"});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.out, "virtual-name Tr1 exists already in driver session S; left unchanged\n");
    EXPECT_EQ(Store(), before);
    const auto shown = Run({"show", "driver-session", "S"}).out;
    EXPECT_NE(shown.find("VirtualName: Tr1=SpecAnTrace1\nVirtualName: Trace1=Trace1\n"),
              std::string::npos)
        << shown;

    run = Run({"add", "virtual-name", "Tr2=X", "--driver-session", "nope"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("no driver session nope"), std::string::npos) << run.err;
    EXPECT_EQ(Store(), before);
}

TEST_F(IviConfigContained, EveryAddSaysWhatHappenedAndSucceedsAgain) {
    const std::vector<std::vector<std::string>> adds = {
        {"add", "hardware-asset", "B", "--resource", "X"},
        {"add", "software-module", "N", "--progid", "N.N"},
        {"add", "driver-session", "T", "--hardware-asset", "B", "--software-module", "N"},
        {"add", "logical-name", "L", "--session", "T"},
    };
    for (const auto& args : adds) {
        const auto first = Run(args);
        EXPECT_EQ(first.exit_code, 0) << args[1] << first.err;
        EXPECT_EQ(first.out, args[1] + " " + args[2] + " added\n");
        const auto again = Run(args);
        EXPECT_EQ(again.exit_code, 0) << args[1] << again.err;
        EXPECT_EQ(again.out, args[1] + " " + args[2] + " exists already; left unchanged\n");
    }
}

TEST_F(IviConfigContained, BadContainedAddsAreUsageErrorsThatChangeNothing) {
    const std::string before = Store();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"add", "physical-name", "P", "--software-module", "M"},
          {"add", "physical-name", "P", "--rc-name", "P"},
          {"add", "physical-name", "P", "--software-module", "M", "--rc-name", "P", "--range",
           "r:1"},
          {"add", "physical-name", "P", "--software-module", "M", "--rc-name", "P", "--range",
           "r:1:x"},
          {"add", "virtual-name", "Tr1", "--driver-session", "S"},
          {"add", "virtual-name", "=X", "--driver-session", "S"},
          {"add", "virtual-name", "Tr1=X"},
          {"add", "published-api", "IviDriver:1.0:IVI-COM", "--replace"},
          {"add", "software-module", "Q", "--progid", "Q", "--physical-name", "P"},
          {"add", "driver-session", "U", "--hardware-asset", "A", "--software-module", "M",
           "--virtual-name", "nomap"}}) {
        const auto run = Run(args);
        EXPECT_EQ(run.exit_code, 2) << args[1] << " " << args.back();
        EXPECT_FALSE(run.err.empty());
    }
    EXPECT_EQ(Run({"show", "physical-name", "P"}).exit_code, 2);  // only added, never shown
    EXPECT_EQ(Store(), before);
}

TEST_F(IviConfigContained, ConcurrentContainedAddsLoseNothing) {
    constexpr int kProcesses = 3;
    constexpr int kEach = 3;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int failures = 0;
            for (int i = 0; i < kEach; ++i) {
                const std::string n = std::to_string(p) + std::to_string(i);
                const std::string mapping = std::string("V").append(n).append("=P").append(n);
                failures +=
                    Run({"add", "virtual-name", mapping, "--driver-session", "S"}).exit_code != 0;
                failures += Run({"add", "physical-name", "P" + n, "--software-module", "M",
                                 "--rc-name", "R", "--range", std::string("r").append(n + ":1:2")})
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
    const auto session = Run({"show", "driver-session", "S"}).out;
    const auto module = Run({"show", "software-module", "M"}).out;
    for (int p = 0; p < kProcesses; ++p) {
        for (int i = 0; i < kEach; ++i) {
            const std::string n = std::to_string(p) + std::to_string(i);
            const std::string virtual_line =
                std::string("VirtualName: V").append(n).append("=P").append(n).append("\n");
            const std::string physical_line =
                std::string("PhysicalName: P").append(n).append(":R:r").append(n).append(":1:2\n");
            EXPECT_NE(session.find(virtual_line), std::string::npos) << n;
            EXPECT_NE(module.find(physical_line), std::string::npos) << n;
        }
    }
}

TEST(IviConfigTest, HelpCoversTheContainedKinds) {
    for (const char* kind : {"published-api", "physical-name", "virtual-name"}) {
        const auto run = Config({"add", kind, "--help"});
        EXPECT_EQ(run.exit_code, 0) << kind;
        EXPECT_NE(run.out.find(std::string("Usage: ivi-config add ") + kind), std::string::npos)
            << kind;
    }
    EXPECT_NE(Config({"add", "physical-name", "--help"}).out.find("--range RANGE:MIN:MAX"),
              std::string::npos);
    const auto program = Config({"--help"}).out;
    EXPECT_NE(program.find("physical-name"), std::string::npos);
    EXPECT_NE(program.find("virtual-name"), std::string::npos);
    EXPECT_NE(Config({"add", "--help"}).out.find("exit code is 0 in both cases"),
              std::string::npos);
}

}  // namespace

// The fixture's store, changed by 'set' and by runs of several commands.
using IviConfigSet = IviConfigContained;
using IviConfigRun = IviConfigContained;

TEST_F(IviConfigSet, ChangesOnlyTheGivenPropertiesOfEachKind) {
    auto run = Run({"set", "hardware-asset", "A", "--resource", "TCPIP0::10.0.0.5::5025::SOCKET"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out, "hardware-asset A changed\n");
    EXPECT_EQ(Run({"show", "hardware-asset", "A"}).out,
              "Name: A\nDescription: \nIOResourceDescriptor: TCPIP0::10.0.0.5::5025::SOCKET\n");
    ASSERT_EQ(Run({"set", "hardware-asset", "A", "--description", "bench"}).exit_code, 0);
    EXPECT_EQ(
        Run({"show", "hardware-asset", "A"}).out,
        "Name: A\nDescription: bench\nIOResourceDescriptor: TCPIP0::10.0.0.5::5025::SOCKET\n");

    ASSERT_EQ(Run({"add", "physical-name", "Trace", "--software-module", "M", "--rc-name", "Trace"})
                  .exit_code,
              0);
    ASSERT_EQ(Run({"set", "software-module", "M", "--progid", "Q.Q", "--prefix", "Q", "--models",
                   "X1,X2", "--description", "module"})
                  .exit_code,
              0);
    EXPECT_EQ(Run({"show", "software-module", "M"}).out,
              "Name: M\nDescription: module\nProgID: Q.Q\nPrefix: Q\n"
              "SupportedInstrumentModels: X1,X2\nPhysicalName: Trace:Trace\n");

    ASSERT_EQ(Run({"add", "hardware-asset", "B", "--resource", "GPIB0::2::INSTR"}).exit_code, 0);
    ASSERT_EQ(Run({"add", "software-module", "N", "--progid", "N.N"}).exit_code, 0);
    ASSERT_EQ(Run({"add", "virtual-name", "Tr1=Trace1", "--driver-session", "S"}).exit_code, 0);
    run = Run({"set",      "driver-session",
               "S",        "--hardware-asset",
               "B",        "--software-module",
               "N",        "--description",
               "session",  "--cache",
               "false",    "--interchange-check",
               "true",     "--query-instr-status",
               "true",     "--range-check",
               "false",    "--record-coercions",
               "true",     "--simulate",
               "true",     "--driver-setup",
               "Model:KLA"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(Run({"show", "driver-session", "S"}).out,
              "Name: S\nDescription: session\nHardwareAsset: B\nSoftwareModuleName: N\n"
              "Cache: false\nDriverSetup: Model:KLA\nInterchangeCheck: true\n"
              "QueryInstrStatus: true\nRangeCheck: false\nRecordCoercions: true\n"
              "Simulate: true\nVirtualName: Tr1=Trace1\n");
    // One flag alone leaves the others.
    ASSERT_EQ(Run({"set", "driver-session", "S", "--simulate", "false"}).exit_code, 0);
    const auto session = Run({"show", "driver-session", "S"}).out;
    EXPECT_NE(session.find("Simulate: false\n"), std::string::npos) << session;
    EXPECT_NE(session.find("RecordCoercions: true\n"), std::string::npos) << session;

    ASSERT_EQ(Run({"add", "driver-session", "T", "--hardware-asset", "A", "--software-module", "M"})
                  .exit_code,
              0);
    ASSERT_EQ(Run({"add", "logical-name", "L", "--session", "S"}).exit_code, 0);
    ASSERT_EQ(
        Run({"set", "logical-name", "L", "--session", "T", "--description", "mine"}).exit_code, 0);
    EXPECT_EQ(Run({"show", "logical-name", "L"}).out, "Name: L\nDescription: mine\nSession: T\n");
}

TEST_F(IviConfigSet, AMissingEntryOrReferenceFailsAndChangesNothing) {
    ASSERT_EQ(Run({"add", "logical-name", "L", "--session", "S"}).exit_code, 0);
    const std::string before = Store();
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"set", "hardware-asset", "nope", "--resource", "X"}, "no hardware asset nope"},
        {{"set", "software-module", "nope", "--progid", "X"}, "no software module nope"},
        {{"set", "driver-session", "nope", "--simulate", "true"}, "no driver session nope"},
        {{"set", "logical-name", "nope", "--description", "X"}, "no logical name nope"},
        // A reference to a missing entry changes none of the other properties either.
        {{"set", "driver-session", "S", "--description", "changed", "--hardware-asset", "nope"},
         "no hardware asset nope"},
        {{"set", "driver-session", "S", "--simulate", "true", "--software-module", "nope"},
         "no software module nope"},
        {{"set", "logical-name", "L", "--description", "changed", "--session", "nope"},
         "no session nope"},
    };
    for (const auto& [args, message] : cases) {
        const auto run = Run(args);
        EXPECT_EQ(run.exit_code, 1) << args[1] << " " << args[2];
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    }
    EXPECT_EQ(Store(), before);
}

TEST_F(IviConfigSet, BadSetsAreUsageErrorsThatChangeNothing) {
    const std::string before = Store();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"set", "hardware-asset", "A"},
          {"set"},
          {"set", "published-api", "IviDriver:1.0:IVI-COM", "--software-module", "M"},
          {"set", "physical-name", "P", "--rc-name", "R"},
          {"set", "driver-session", "S", "--virtual-name", "Tr1=X"},
          {"set", "driver-session", "S", "--cache", "maybe"},
          {"set", "hardware-asset", "A", "--resource", "X", "--replace"},
          {"set", "hardware-asset", "A", "--resource", "X", "--resource", "Y"},
          {"set", "software-module", "M", "--physical-name", "P:P"}}) {
        const auto run = Run(args);
        EXPECT_EQ(run.exit_code, 2) << args.size() << " " << args.back();
        EXPECT_FALSE(run.err.empty());
    }
    EXPECT_EQ(Store(), before);
}

// Counts the times a file of the watched folder named `name` was written whole, either in
// place or by renaming a finished file onto it.
class FolderWatch {
  public:
    explicit FolderWatch(const std::string& folder) {
        fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        EXPECT_GE(fd_, 0);
        EXPECT_GE(inotify_add_watch(fd_, folder.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO), 0);
    }
    ~FolderWatch() { close(fd_); }
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // The writes since the last call (the events are queued when they happen).
    int WritesOf(const std::string& name) {
        int writes = 0;
        alignas(inotify_event) char buffer[16384];
        while (true) {
            const ssize_t length = read(fd_, buffer, sizeof buffer);
            if (length <= 0) {
                EXPECT_TRUE(length < 0 && errno == EAGAIN) << "inotify read failed";
                return writes;
            }
            for (ssize_t at = 0; at < length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                writes += event->len > 0 && name == event->name;
                EXPECT_EQ(event->mask & IN_Q_OVERFLOW, 0u);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

  private:
    int fd_ = -1;
};

TEST_F(IviConfigRun, AppliesEveryLineToTheStoreAndSavesItOnce) {
    FolderWatch watch(dir_.path().string());
    ASSERT_EQ(Run({"add", "hardware-asset", "Z", "--resource", "X"}).exit_code, 0);
    ASSERT_EQ(watch.WritesOf("s.xml"), 1);  // the watch sees a save

    const auto run = Run({"run", "-"},
                         "add hardware-asset B --resource GPIB0::2::INSTR\n"
                         "add software-module N --progid N.N\n"
                         "add driver-session T --hardware-asset B --software-module N\n"
                         "add logical-name L --session T\n"
                         "set hardware-asset A --resource TCPIP0::h::5025::SOCKET\n"
                         "add virtual-name Tr1=Trace1 --driver-session T\n"
                         "remove hardware-asset Z\n");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(watch.WritesOf("s.xml"), 1);
    EXPECT_EQ(run.out,
              "hardware-asset B added\nsoftware-module N added\ndriver-session T added\n"
              "logical-name L added\nhardware-asset A changed\n"
              "virtual-name Tr1 added to driver session T\n");
    EXPECT_EQ(Run({"list"}).out,
              "hardware-asset A\nhardware-asset B\nsoftware-module M\nsoftware-module N\n"
              "driver-session S\ndriver-session T\nlogical-name L\n");
    EXPECT_NE(Run({"show", "hardware-asset", "A"}).out.find("TCPIP0::h::5025::SOCKET"),
              std::string::npos);
    EXPECT_NE(Run({"show", "driver-session", "T"}).out.find("VirtualName: Tr1=Trace1\n"),
              std::string::npos);

    // A run that changes nothing does not write the store; its reading commands print, and
    // nothing of the run is left beside the store.
    const auto reads = Run({"run"}, "list logical-name\nadd hardware-asset B --resource Y\n");
    EXPECT_EQ(reads.exit_code, 0) << reads.err;
    EXPECT_EQ(reads.out, "L\nhardware-asset B exists already; left unchanged\n");
    EXPECT_EQ(watch.WritesOf("s.xml"), 0);
    std::vector<std::string> files;
    std::transform(std::filesystem::directory_iterator(dir_.path()),
                   std::filesystem::directory_iterator(), std::back_inserter(files),
                   [](const auto& entry) { return entry.path().filename().string(); });
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"s.xml", "s.xml.lock"}));
}

TEST_F(IviConfigRun, LaterLinesSeeTheChangesOfEarlierOnes) {
    const auto run = Run({"run", "-"},
                         "add hardware-asset B --resource X\n"
                         "show hardware-asset B\n"
                         "set hardware-asset B --resource Y\n"
                         "show hardware-asset B\n");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out,
              "hardware-asset B added\nName: B\nDescription: \nIOResourceDescriptor: X\n"
              "hardware-asset B changed\nName: B\nDescription: \nIOResourceDescriptor: Y\n");
}

TEST_F(IviConfigRun, WordsAreSplitAndQuotedAsByAPosixShell) {
    const std::string commands =
        "# a comment line, and a blank line\n"
        "\n"
        "   # an indented comment\n"
        "add hardware-asset 'Two words' --resource X --description 'it'\\''s \"quoted\"'\n"
        "add hardware-asset B --resource \"a \\\"b\\\" \\\\ \\$c \\x\"   # a trailing comment\n"
        "add hardware-asset C --resource a\\ b\\#c#d --description \"\"\n"
        "add hardware-asset D \\\n"
        "    --resource continued\\\n"
        "line --description ''\n"
        "add hardware-asset E\t--resource\t\"tab\tinside\"\n";
    const auto run = Run({"run", "-"}, commands);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(Run({"show", "hardware-asset", "Two words"}).out,
              "Name: Two words\nDescription: it's \"quoted\"\nIOResourceDescriptor: X\n");
    EXPECT_NE(
        Run({"show", "hardware-asset", "B"}).out.find("IOResourceDescriptor: a \"b\" \\ $c \\x\n"),
        std::string::npos);
    EXPECT_NE(Run({"show", "hardware-asset", "C"}).out.find("IOResourceDescriptor: a b#c#d\n"),
              std::string::npos);
    EXPECT_NE(
        Run({"show", "hardware-asset", "D"}).out.find("IOResourceDescriptor: continuedline\n"),
        std::string::npos);
    EXPECT_NE(Run({"show", "hardware-asset", "E"}).out.find("IOResourceDescriptor: tab\tinside\n"),
              std::string::npos);
}

TEST_F(IviConfigRun, AFailingLineIsReportedAndUndoneAndTheRunGoesOn) {
    const std::string commands =
        "add hardware-asset B --resource X\n"
        "add physical-name P --software-module nope --rc-name P\n"
        "\n"
        // Fails after the module was put into the store: the whole line must be undone.
        "add software-module N --progid N.N --published-api Ivi\x01:1.0:IVI-COM\n"
        "add hardware-asset 'unclosed --resource X\n"
        "frobnicate\n"
        "run other-file\n"
        "--store other.xml list\n"
        "add hardware-asset C --resource X --resource Y\n"
        "set hardware-asset nope --resource X\n"
        "add hardware-asset D\\\n"
        "  \xFF --resource X\n"
        "add hardware-asset E --resource Y\n";
    const auto run = Run({"run", "-"}, commands);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(Run({"list", "hardware-asset"}).out, "A\nB\nE\n");
    EXPECT_EQ(Run({"list", "software-module"}).out, "M\n");
    EXPECT_EQ(Run({"list", "published-api"}).out, "");
    const std::vector<std::string> expected_errors = {
        "ivi-config: line 2: no software module nope",
        "ivi-config: line 4: ",
        "ivi-config: line 5: the ' quote is not closed on this line\n",
        "ivi-config: line 6: unknown command 'frobnicate'\n",
        "ivi-config: line 7: run cannot be nested in a run\n",
        "ivi-config: line 8: --store is given to the run, not to its commands\n",
        "ivi-config: line 9: --resource is given twice\n",
        "ivi-config: line 10: no hardware asset nope",
        "ivi-config: line 11: the argument '\\xFF' is not valid UTF-8\n",
    };
    std::size_t at = 0;
    for (const auto& message : expected_errors) {
        const std::size_t found = run.err.find(message, at);
        EXPECT_NE(found, std::string::npos) << message << "\nin:\n" << run.err;
        at = found == std::string::npos ? at : found + message.size();
    }
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 9) << run.err;
}

// Before any line changed the store, a failing line returns it to the state it was loaded
// in: the file's, or an empty store when there was no file.
TEST_F(IviConfigRun, AFailingFirstLineIsUndoneToTheStoreAsLoaded) {
    const std::string half_done =
        "add software-module N --progid N.N --published-api Ivi\x01:1.0:IVI-COM\n"
        "add hardware-asset B --resource X\n";
    auto run = Run({"run"}, half_done);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("ivi-config: line 1: "), std::string::npos) << run.err;
    EXPECT_EQ(Run({"list"}).out,
              "hardware-asset A\nhardware-asset B\nsoftware-module M\ndriver-session S\n");

    const std::string fresh = (dir_ / "fresh.xml").string();
    run = RunProgram(TEVO_IVI_CONFIG_PROGRAM, {"--store", fresh, "run"}, half_done);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(RunProgram(TEVO_IVI_CONFIG_PROGRAM, {"--store", fresh, "list"}).out,
              "hardware-asset B\n");
}

TEST_F(IviConfigRun, AnUnreadableFileOrBadArgumentsAreUsageErrorsThatRunNothing) {
    const std::string before = Store();
    const std::string folder = (dir_ / "folder").string();
    std::filesystem::create_directories(folder);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"run", (dir_ / "missing").string()},
          {"run", folder},
          {"run", "-", "more"}}) {
        const auto run = Run(args, "add hardware-asset B --resource X\n");
        EXPECT_EQ(run.exit_code, 2) << args[1];
        EXPECT_NE(run.err.find("ivi-config: "), std::string::npos);
        EXPECT_EQ(run.out, "");
    }
    EXPECT_EQ(Store(), before);

    // A FILE that can be read runs, also with the master store.
    const std::string file = (dir_ / "commands").string();
    tevo::testing::WriteFile(file, "add hardware-asset B --resource X\n");
    EXPECT_EQ(Run({"run", file}).exit_code, 0);
    EXPECT_EQ(Run({"list", "hardware-asset"}).out, "A\nB\n");
    EXPECT_EQ(Config({"run", file}).exit_code, 0);
    EXPECT_EQ(Config({"list"}).out, "hardware-asset B\n");
}

TEST(IviConfigTest, HelpCoversSetAndRun) {
    const auto program = Config({"--help"}).out;
    EXPECT_NE(program.find("  set KIND NAME"), std::string::npos);
    EXPECT_NE(program.find("  run [FILE]"), std::string::npos);
    auto run = Config({"set", "--help"});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_NE(run.out.find("Usage: ivi-config [--store FILE] set KIND NAME"), std::string::npos);
    EXPECT_NE(run.out.find("--interchange-check B"), std::string::npos);
    run = Config({"run", "--help"});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_NE(run.out.find("Usage: ivi-config [--store FILE] run [FILE]"), std::string::npos);
    EXPECT_NE(run.out.find("line N"), std::string::npos);
}
