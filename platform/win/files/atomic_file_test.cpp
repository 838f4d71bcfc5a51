#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>

#include "tevo/testing/temp_dir.h"
#include "tevo/win/files.h"
#include "tevo/win/lasterror.h"
#include "tevo/win/winerror.h"

namespace {

namespace fs = std::filesystem;
using tevo::testing::ReadFile;
using tevo::testing::TempDir;
using tevo::testing::WriteFile;

TEST(WriteFileAtomically, CreatesAndReplacesFilesKeepingTheirPermissions) {
    const TempDir dir;
    ASSERT_TRUE(tevo::win::WriteFileAtomically(dir / "new.txt", "one"));
    EXPECT_EQ(ReadFile(dir / "new.txt"), "one");

    WriteFile(dir / "Store.XML", "old");
    fs::permissions(dir / "Store.XML",
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(tevo::win::WriteFileAtomically(dir / "store.xml", std::string("new\0", 4)));
    EXPECT_EQ(ReadFile(dir / "Store.XML"), std::string("new\0", 4));
    EXPECT_EQ(fs::status(dir / "Store.XML").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    // Nothing else is left in the folder: no second spelling, no temporary file.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

TEST(WriteFileAtomically, FailsWithoutTouchingAnything) {
    const TempDir dir;
    EXPECT_FALSE(tevo::win::WriteFileAtomically(dir / "missing/file.txt", "x"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    fs::create_directory(dir / "folder");
    EXPECT_FALSE(tevo::win::WriteFileAtomically(dir / "FOLDER", "x"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

// A child process rewrites a file with two large contents in turn, and is killed at
// random moments; the file must always hold one of them whole.
TEST(WriteFileAtomically, AKilledWriterNeverLeavesATornFile) {
    const TempDir dir;
    const fs::path target = dir / "state.bin";
    const std::string first(300000, 'A');
    const std::string second = std::string(200000, 'B') + std::string(150000, 'C');
    ASSERT_TRUE(tevo::win::WriteFileAtomically(target, first));

    std::mt19937 random(12345);
    for (int round = 0; round < 20; ++round) {
        int progress[2];
        ASSERT_EQ(pipe(progress), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(progress[0]);
            for (unsigned i = 0;; ++i) {
                if (!tevo::win::WriteFileAtomically(target, (i % 2 == 0) ? second : first)) {
                    _exit(1);
                }
                if (write(progress[1], "x", 1) != 1) {
                    _exit(2);
                }
            }
        }
        close(progress[1]);
        // Let the child finish a random number of writes, then kill it after a random
        // delay, somewhere inside its next write.
        const int writes = static_cast<int>(random() % 3) + 1;
        for (int i = 0; i < writes; ++i) {
            char byte = 0;
            ASSERT_EQ(read(progress[0], &byte, 1), 1) << "the writer stopped early";
        }
        const auto delay = std::chrono::microseconds(random() % 3000);
        const auto until = std::chrono::steady_clock::now() + delay;
        while (std::chrono::steady_clock::now() < until) {
        }
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        close(progress[0]);
        EXPECT_TRUE(WIFSIGNALED(status)) << "round " << round;

        const std::string content = ReadFile(target);
        EXPECT_TRUE(content == first || content == second)
            << "round " << round << ": " << content.size() << " bytes";
    }
}

}  // namespace
