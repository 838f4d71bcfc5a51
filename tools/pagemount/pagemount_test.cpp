// pagemount end to end: the built program in the test's system root, with the Quill
// fixtures.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bulk_folder.h"
#include "help_fixtures.h"
#include "tevo/quill.h"
#include "tevo/testing/run_program.h"
#include "tevo/testing/temp_dir.h"

namespace tevo::quill {
namespace {

using testing::GetFile;
using tevo::testing::ProgramRun;
using tevo::testing::RunProgram;

constexpr const char* kUsage =
    "Invalid parameters.  Correct usage is:\n"
    "  Pagemount install foldername help.chm help.chi uniqueid\n"
    "  Pagemount remove foldername uniqueid\n";

class PagemountTest : public ::testing::Test {
  protected:
    void SetUp() override {
        files_ = testing::SetUpHelpFiles();
        chm_ = (testing::WindowsHelpDirectory() / "Tevo.chm").string();
        chi_ = (testing::WindowsHelpDirectory() / "Tevo.chi").string();
        testing::PutFile(chm_, "chm");
        testing::PutFile(chi_, "chi");
    }

    static ProgramRun Run(const std::vector<std::string>& args) {
        return RunProgram(TEVO_PAGEMOUNT_PROGRAM, args);
    }

    long Count(const std::string& id) {
        const auto ids = testing::DocIds(files_.registry);
        return std::count(ids.begin(), ids.end(), id);
    }

    long Entries(const std::string& path) {
        const auto paths = testing::FolderPaths(files_.collection);
        return std::count(paths.begin(), paths.end(), path);
    }

    testing::HelpFiles files_;
    std::string chm_;
    std::string chi_;
};

TEST_F(PagemountTest, InstallInstallAgainAndRemove) {
    ProgramRun run = Run({"install", "Vendor\\Analyzers\\Tevo", chm_, chi_, "tevo-help"});
    EXPECT_EQ(run.out, "Help file installed\n");
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(Count("tevo-help"), 1);
    EXPECT_EQ(Entries("Vendor/Analyzers/Tevo/=tevo-help"), 1);

    run = Run({"install", "Vendor\\Analyzers\\Tevo", chm_, chi_, "tevo-help"});
    EXPECT_EQ(run.out, "Help file installed\n");
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(Count("tevo-help"), 1);
    EXPECT_EQ(Entries("Vendor/Analyzers/Tevo/=tevo-help"), 1);

    run = Run({"remove", "Vendor\\Analyzers\\Tevo", "tevo-help"});
    EXPECT_EQ(run.out, "Help file removed\n");
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(Count("tevo-help"), 0);
    EXPECT_EQ(Entries("Vendor/Analyzers/Tevo"), 0);
    EXPECT_EQ(Entries("Vendor/Analyzers"), 1);
}

TEST_F(PagemountTest, InstallVerbInAnyLetterCase) {
    for (const char* verb : {"INSTALL", "Install"}) {
        const ProgramRun run = Run({verb, "Vendor", chm_, chi_, verb});
        EXPECT_EQ(run.out, "Help file installed\n") << verb;
        EXPECT_EQ(Count(verb), 1);
    }
}

TEST_F(PagemountTest, AnythingElsePrintsTheUsageAndChangesNothing) {
    ASSERT_EQ(Run({"install", "Vendor", chm_, chi_, "tevo-help"}).exit_code, 0);
    const std::string registry = GetFile(files_.registry);
    const std::string collection = GetFile(files_.collection);
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"list"},
        {"install", "Vendor", chm_, chi_},
        {"install", "Vendor", chm_, chi_, "tevo-help", "extra"},
        {"remove", "Vendor"},
        {"remove", "Vendor", "tevo-help", "extra"},
        {"REMOVE", "Vendor", "tevo-help"},
        {"Remove", "Vendor", "tevo-help"},
    };
    for (const auto& args : wrong) {
        const ProgramRun run = Run(args);
        EXPECT_EQ(run.out, kUsage) << ::testing::PrintToString(args);
        EXPECT_EQ(run.exit_code, 0) << ::testing::PrintToString(args);
    }
    EXPECT_EQ(GetFile(files_.registry), registry);
    EXPECT_EQ(GetFile(files_.collection), collection);
}

TEST_F(PagemountTest, FailuresEndWithMinusOneAfterTheLibrarysOwnLines) {
    const std::string missing = (testing::WindowsHelpDirectory() / "none.chm").string();
    ProgramRun run = Run({"install", "Vendor", missing, chi_, "tevo-help"});
    EXPECT_EQ(run.out, "Error installing help file.\n");
    EXPECT_EQ(run.exit_code, 255);  // -1

    testing::PutFile(files_.collection, "<HTMLHelpCollection><Folders>");
    run = Run({"remove", "Vendor", "analyzer-guide"});
    EXPECT_EQ(run.out, "Failed to load collection, error = 110\nError removing help file.\n");
    EXPECT_EQ(run.exit_code, 255);

    testing::PutFile(files_.registry,
                     "<R><Collections><Collection><ColName value=\"" + files_.collection.string() +
                         "\"/><ColNum value=\"3\"/></Collection></Collections></R>");
    run = Run({"install", "Vendor", chm_, chi_, "tevo-help"});
    EXPECT_EQ(run.out, "Failed to add new doc\nError installing help file.\n");
    EXPECT_EQ(run.exit_code, 255);

    std::filesystem::remove(files_.registry);
    run = Run({"remove", "Vendor", "tevo-help"});
    EXPECT_EQ(run.out, "Error removing help file.\n");
    EXPECT_EQ(run.exit_code, 255);
}

// Runs pagemount with files limited to `max_bytes`, as on a nearly full disk: a write past
// the limit fails (SIGXFSZ ignored) instead of ending the program.
ProgramRun RunWithFileSizeLimit(const std::vector<std::string>& args, rlim_t max_bytes) {
    const auto out_path = tevo::testing::CurrentSystemRoot() / "limited-stdout";
    std::vector<std::string> argv_text = {TEVO_PAGEMOUNT_PROGRAM};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    argv.reserve(argv_text.size() + 1);
    for (std::string& arg : argv_text) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ProgramRun run;
    const pid_t pid = fork();
    if (pid == 0) {
        const rlimit limit{max_bytes, max_bytes};
        setrlimit(RLIMIT_FSIZE, &limit);
        signal(SIGXFSZ, SIG_IGN);
        dup2(out, 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out);
    int status = 0;
    waitpid(pid, &status, 0);
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = GetFile(out_path);
    return run;
}

TEST_F(PagemountTest, AFullDiskLeavesEachFileWholeAndIsReported) {
    // A collection far larger than the limit, a registry file well below it.
    unsigned long collection = 0;
    ASSERT_EQ(QuillLoadCollection(files_.collection.c_str(), &collection), QUILL_OK);
    ASSERT_NE(testing::AddBulkFolder(collection), 0UL);
    ASSERT_EQ(QuillSaveCollection(collection), QUILL_OK);
    QuillReleaseCollection(collection);
    const std::string registry = GetFile(files_.registry);
    const std::string before = GetFile(files_.collection);
    ASSERT_LT(registry.size(), 8000U);
    ASSERT_GT(before.size(), 64000U);

    ProgramRun run = RunWithFileSizeLimit({"install", "Vendor", chm_, chi_, "tevo-help"}, 1000);
    EXPECT_EQ(run.out, "Error installing help file.\n");  // the registry could not be saved
    EXPECT_EQ(run.exit_code, 255);
    EXPECT_EQ(GetFile(files_.registry), registry);

    run = RunWithFileSizeLimit({"install", "Vendor", chm_, chi_, "tevo-help"}, 16000);
    EXPECT_EQ(run.out, "Failed to save collection, error = 160\nError installing help file.\n");
    EXPECT_EQ(run.exit_code, 255);
    EXPECT_EQ(Count("tevo-help"), 1);  // the registry was saved first
    EXPECT_EQ(GetFile(files_.collection), before);
}

}  // namespace
}  // namespace tevo::quill
