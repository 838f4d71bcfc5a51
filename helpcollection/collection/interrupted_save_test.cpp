// A save killed at any moment leaves the collection file as it was before or as it is
// after, never a part of either. A child process saves a large collection over and over
// and is killed at random moments.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>

#include "bulk_folder.h"
#include "help_fixtures.h"
#include "tevo/quill.h"

extern char** environ;

namespace tevo::quill {
namespace {

using testing::GetFile;
using testing::PutFile;

// The file as Quill saves the fixture (`before`) and with the bulk folder (`after`).
void SavedForms(const std::string& file, std::string* before, std::string* after) {
    unsigned long collection = 0;
    ASSERT_EQ(QuillLoadCollection(file.c_str(), &collection), QUILL_OK);
    ASSERT_EQ(QuillSaveCollection(collection), QUILL_OK);
    *before = GetFile(file);
    const unsigned long bulk = testing::AddBulkFolder(collection);
    ASSERT_NE(bulk, 0UL);
    ASSERT_EQ(QuillSaveCollection(collection), QUILL_OK);
    *after = GetFile(file);
    QuillDeleteFolder(bulk);
    ASSERT_EQ(QuillSaveCollection(collection), QUILL_OK);
    ASSERT_EQ(GetFile(file), *before);
    QuillReleaseCollection(collection);
}

// Starts the save loop on the file; its standard output comes through *output.
pid_t StartSaveLoop(const std::string& file, int* output) {
    int fds[2];
    if (pipe(fds) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::string program = TEVO_QUILL_SAVE_LOOP_PROGRAM;
    std::string argument = file;
    char* argv[] = {program.data(), argument.data(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    *output = fds[0];
    return pid;
}

TEST(InterruptedSaveTest, KilledWhileSavingLeavesTheOldOrTheNewFile) {
    const auto files = testing::SetUpHelpFiles();
    const std::string file = files.collection.string();
    std::string before;
    std::string after;
    ASSERT_NO_FATAL_FAILURE(SavedForms(file, &before, &after));
    ASSERT_GT(after.size(), before.size() + 100000);

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> saves_first(1, 2);
    // Up to about one whole save cycle of the child (building the bulk folder, saving,
    // deleting it, saving again).
    std::uniform_int_distribution<int> delay_us(0, 80000);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(8);
    int kills = 0;
    int seen_after = 0;
    while (kills < 30 && std::chrono::steady_clock::now() < deadline) {
        PutFile(file, before);
        int output = -1;
        const pid_t child = StartSaveLoop(file, &output);
        ASSERT_GT(child, 0);
        // Let it finish a few saves, so that it is in the middle of its loop.
        bool running = true;
        for (int n = saves_first(random); n > 0 && running; --n) {
            char mark = 0;
            running = read(output, &mark, 1) == 1;
        }
        // Not a wait for anything: the moment of the kill is what is random.
        std::this_thread::sleep_for(std::chrono::microseconds(delay_us(random)));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        close(output);
        ASSERT_TRUE(running) << "the save loop ended by itself with status " << status;
        ASSERT_TRUE(WIFSIGNALED(status));

        const std::string now = GetFile(file);
        ASSERT_TRUE(now == before || now == after)
            << "kill " << kills << ": " << now.size() << " bytes";
        seen_after += now == after ? 1 : 0;
        unsigned long collection = 0;
        ASSERT_EQ(QuillLoadCollection(file.c_str(), &collection), QUILL_OK);
        QuillReleaseCollection(collection);
        ++kills;
    }
    EXPECT_GE(kills, 10);
    RecordProperty("kills", kills);
    RecordProperty("kills_leaving_new_file", seen_after);
}

}  // namespace
}  // namespace tevo::quill
