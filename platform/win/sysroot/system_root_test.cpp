#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tevo/testing/temp_dir.h"
#include "tevo/win/sysroot.h"

namespace {

namespace fs = std::filesystem;

// The steps registered by these tests record their runs in "runs.txt" of one watched root
// only, so that the other tests' roots stay untouched.
fs::path g_watched;

void Record(const fs::path& root, const std::string& line) {
    if (root != g_watched) {
        return;
    }
    const std::string text = line + "\n";
    const int fd = open((root / "runs.txt").c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);
}

void RegisterTestSteps() {
    static const bool registered = [] {
        tevo::win::AddSystemRootSetupStep("test.first",
                                          [](const fs::path& root) { Record(root, "first"); });
        tevo::win::AddSystemRootSetupStep("test.second", [](const fs::path& root) {
            // A step may use the root it sets up; its folders are in place.
            const bool sees_folders = tevo::win::WindowsDirectory() == root / "Windows" &&
                                      fs::is_directory(tevo::win::TempDirectory());
            Record(root, sees_folders ? "second" : "second without folders");
        });
        tevo::win::AddSystemRootSetupStep("test.failing", [](const fs::path& root) {
            if (root == g_watched && fs::exists(root / "make-step-fail")) {
                Record(root, "failing attempt");
                throw std::runtime_error("deliberate failure");
            }
            Record(root, "failing done");
        });
        return true;
    }();
    (void)registered;
}

std::string Runs(const fs::path& root) {
    return tevo::testing::ReadFile(root / "runs.txt");
}

// Runs SystemRoot() for the given root in a child process and waits for it.
void UseRootInChildProcess(const fs::path& root) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv("TEVO_SYSTEM_ROOT", root.c_str(), 1);
        _exit(tevo::win::SystemRoot() == root ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// Sets or unsets an environment variable for one test and restores it afterwards.
class ScopedVariable {
  public:
    ScopedVariable(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedVariable() {
        if (old_) {
            setenv(name_.c_str(), old_->c_str(), 1);
        } else {
            unsetenv(name_.c_str());
        }
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

  private:
    std::string name_;
    std::optional<std::string> old_;
};

TEST(SystemRoot, AFreshRootGetsTheFoldersOfAWindowsMachine) {
    const fs::path root = tevo::testing::CurrentSystemRoot();
    EXPECT_EQ(tevo::win::SystemRoot(), root);
    EXPECT_EQ(tevo::win::WindowsDirectory(), root / "Windows");
    EXPECT_EQ(tevo::win::WindowsHelpDirectory(), root / "Windows" / "Help");
    EXPECT_EQ(tevo::win::SystemDirectory(), root / "Windows" / "System32");
    EXPECT_EQ(tevo::win::TempDirectory(), root / "Windows" / "Temp");
    EXPECT_EQ(tevo::win::AllUsersDataDirectory(), root / "ProgramData");
    EXPECT_EQ(tevo::win::IviDataDirectory(), root / "ProgramData" / "IVI Foundation" / "IVI");
    EXPECT_EQ(tevo::win::RegistryDirectory(), root / "registry");
    for (const fs::path& folder : {tevo::win::WindowsHelpDirectory(), tevo::win::SystemDirectory(),
                                   tevo::win::TempDirectory(), tevo::win::IviDataDirectory(),
                                   tevo::win::RegistryDirectory()}) {
        EXPECT_TRUE(fs::is_directory(folder)) << folder;
    }
    // The older all-users name leads to the same folder.
    const fs::path old_name = root / "Documents and Settings/All Users/Application Data";
    EXPECT_TRUE(fs::equivalent(old_name, root / "ProgramData"));
}

TEST(SystemRoot, FollowsTheEnvironmentOnEveryCall) {
    const tevo::testing::TempDir other("tevo-other-root");
    {
        const ScopedVariable chosen("TEVO_SYSTEM_ROOT", (other.path().string() + "/").c_str());
        EXPECT_EQ(tevo::win::SystemRoot(), other.path());
        EXPECT_TRUE(fs::is_directory(other.path() / "Windows" / "Help"));
    }
    EXPECT_EQ(tevo::win::SystemRoot(), tevo::testing::CurrentSystemRoot());

    const tevo::testing::TempDir data_home("tevo-data-home");
    const ScopedVariable unset("TEVO_SYSTEM_ROOT", nullptr);
    const ScopedVariable home("HOME", data_home.path().c_str());
    {
        const ScopedVariable xdg("XDG_DATA_HOME", data_home.path().c_str());
        EXPECT_EQ(tevo::win::SystemRoot(), data_home.path() / "tevo" / "system");
    }
    {
        // A relative XDG_DATA_HOME is ignored, as the XDG rules say.
        const ScopedVariable xdg("XDG_DATA_HOME", "relative/data");
        EXPECT_EQ(tevo::win::SystemRoot(), data_home.path() / ".local/share/tevo/system");
    }
    EXPECT_TRUE(fs::is_directory(data_home.path() / ".local/share/tevo/system/registry"));
}

TEST(SystemRootSetup, RunsEachStepOnceInRegistrationOrder) {
    RegisterTestSteps();
    const fs::path root = tevo::testing::CurrentSystemRoot();
    g_watched = root;
    tevo::win::SystemRoot();
    tevo::win::WindowsDirectory();
    EXPECT_EQ(Runs(root), "first\nsecond\nfailing done\n");
    // Another process finds the root set up.
    UseRootInChildProcess(root);
    EXPECT_EQ(Runs(root), "first\nsecond\nfailing done\n");
}

TEST(SystemRootSetup, ProcessesStartingOnAFreshRootAtOnceRunEachStepOnce) {
    RegisterTestSteps();
    const tevo::testing::TempDir fresh("tevo-fresh-root");
    g_watched = fresh.path();
    std::vector<pid_t> children;
    for (int i = 0; i < 4; ++i) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            setenv("TEVO_SYSTEM_ROOT", fresh.path().c_str(), 1);
            _exit(tevo::win::SystemRoot() == fresh.path() ? 0 : 1);
        }
        children.push_back(child);
    }
    {
        const ScopedVariable chosen("TEVO_SYSTEM_ROOT", fresh.path().c_str());
        tevo::win::SystemRoot();
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(Runs(fresh.path()), "first\nsecond\nfailing done\n");
}

TEST(SystemRootSetup, AFailedStepIsRunAgainByTheNextProcess) {
    RegisterTestSteps();
    const tevo::testing::TempDir fresh("tevo-failing-root");
    g_watched = fresh.path();
    tevo::testing::WriteFile(fresh.path() / "make-step-fail", "");
    const ScopedVariable chosen("TEVO_SYSTEM_ROOT", fresh.path().c_str());
    testing::internal::CaptureStderr();
    EXPECT_EQ(tevo::win::SystemRoot(), fresh.path());
    const std::string reported = testing::internal::GetCapturedStderr();
    EXPECT_NE(reported.find("test.failing"), std::string::npos) << reported;
    EXPECT_NE(reported.find("deliberate failure"), std::string::npos) << reported;
    EXPECT_TRUE(fs::is_directory(fresh.path() / "Windows"));

    fs::remove(fresh.path() / "make-step-fail");
    tevo::win::SystemRoot();  // this process does not try again
    EXPECT_EQ(Runs(fresh.path()), "first\nsecond\nfailing attempt\n");
    UseRootInChildProcess(fresh.path());
    UseRootInChildProcess(fresh.path());
    EXPECT_EQ(Runs(fresh.path()), "first\nsecond\nfailing attempt\nfailing done\n");
}

TEST(SystemRootSetup, AStepRegisteredLaterRunsForRootsAlreadySetUp) {
    RegisterTestSteps();
    const fs::path root = tevo::testing::CurrentSystemRoot();
    g_watched = root;
    tevo::win::SystemRoot();
    static int generation = 0;  // a new name for each repetition of the test
    const std::string name = "test.late." + std::to_string(++generation);
    ASSERT_TRUE(tevo::win::AddSystemRootSetupStep(name, [root](const fs::path& r) {
        if (r == root) {
            Record(r, "late");
        }
    }));
    EXPECT_FALSE(tevo::win::AddSystemRootSetupStep(name, [](const fs::path&) {}));
    EXPECT_FALSE(tevo::win::AddSystemRootSetupStep("", [](const fs::path&) {}));
    EXPECT_FALSE(tevo::win::AddSystemRootSetupStep("two\nlines", [](const fs::path&) {}));
    tevo::win::SystemRoot();
    tevo::win::SystemRoot();
    EXPECT_EQ(Runs(root), "first\nsecond\nfailing done\nlate\n");
}

TEST(SystemRootSetup, ARootEmptiedWhileInUseIsSetUpAgain) {
    RegisterTestSteps();
    const fs::path root = tevo::testing::CurrentSystemRoot();
    g_watched = root;
    tevo::win::SystemRoot();
    for (const auto& entry : fs::directory_iterator(root)) {
        fs::remove_all(entry.path());
    }
    EXPECT_EQ(tevo::win::TempDirectory(), root / "Windows" / "Temp");
    EXPECT_TRUE(fs::is_directory(root / "Windows" / "Temp"));
    EXPECT_EQ(Runs(root), "first\nsecond\nfailing done\n");
}

TEST(SystemRootSetup, ARootSetUpByARemovedInstallationIsSetUpAgain) {
    RegisterTestSteps();
    const tevo::testing::TempDir fresh("tevo-moved-root");
    g_watched = fresh.path();
    UseRootInChildProcess(fresh.path());
    const fs::path recorded = fresh.path() / ".setup.platform";
    const std::string current = tevo::testing::ReadFile(recorded);
    ASSERT_FALSE(current.empty());

    // Another installation that still exists keeps the root as it is.
    tevo::testing::WriteFile(recorded, "/bin/sh\n");
    UseRootInChildProcess(fresh.path());
    EXPECT_EQ(Runs(fresh.path()), "first\nsecond\nfailing done\n");

    // One that is gone: every step runs again, for the installation in use.
    tevo::testing::WriteFile(recorded, "/no/such/installation/lib/libtevowin.so\n");
    UseRootInChildProcess(fresh.path());
    EXPECT_EQ(Runs(fresh.path()), "first\nsecond\nfailing done\nfirst\nsecond\nfailing done\n");
    EXPECT_EQ(tevo::testing::ReadFile(recorded), current);
    UseRootInChildProcess(fresh.path());
    EXPECT_EQ(Runs(fresh.path()), "first\nsecond\nfailing done\nfirst\nsecond\nfailing done\n");

    // A root without the record is set up again once, and recorded.
    fs::remove(recorded);
    UseRootInChildProcess(fresh.path());
    UseRootInChildProcess(fresh.path());
    EXPECT_EQ(Runs(fresh.path()),
              "first\nsecond\nfailing done\nfirst\nsecond\nfailing done\n"
              "first\nsecond\nfailing done\n");
    EXPECT_EQ(tevo::testing::ReadFile(recorded), current);
}

}  // namespace
