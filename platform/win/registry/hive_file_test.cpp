#include "hive_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tevo/testing/temp_dir.h"
#include "tevo/win/registry.h"
#include "tevo/win/sysroot.h"

namespace tevo::win::registry {
namespace {

using namespace std::string_literals;

LONG SetString(HKEY key, const std::string& name, const std::string& text) {
    return RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
}

size_t ValueCount(const char* path) {
    Key root;
    EXPECT_EQ(ReadHive(Hive::CurrentUser, &root), ERROR_SUCCESS);
    const Key* key = &root;
    std::string rest = path;
    while (key != nullptr && !rest.empty()) {
        const size_t end = rest.find('\\');
        key = key->FindSubkey(rest.substr(0, end));
        rest = end == std::string::npos ? "" : rest.substr(end + 1);
    }
    return key == nullptr ? 0 : key->values().size();
}

TEST(HiveFile, MissingHiveIsEmptyAndReadingCreatesNoHive) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(std::filesystem::exists(HiveFilePath(Hive::LocalMachine)));
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE", &key), ERROR_SUCCESS);
    EXPECT_EQ(testing::ReadFile(HiveFilePath(Hive::LocalMachine)),
              "REGEDIT4\n"
              "; Hive format 2: the last line is \"; End of hive\".\n\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\n"
              "; End of hive\n");
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST(HiveFile, DamagedHiveIsReportedAndLeftByteForByte) {
    HKEY user = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Fine", &user), ERROR_SUCCESS);
    const std::vector<std::string> damages = {
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\"v\"=\"unterminated\n",
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\"v\"=hex:0",  // cut in the middle
        "garbage\x00\x01"s,
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n",  // another hive's keys
        "REGEDIT4\n\n[-HKEY_LOCAL_MACHINE\\SOFTWARE]\n",
    };
    for (const std::string& damage : damages) {
        const auto path = testing::WriteFile(HiveFilePath(Hive::LocalMachine), damage);
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key), ERROR_BADDB);
        EXPECT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\New", &key), ERROR_BADDB);
        EXPECT_EQ(RegSetValueExA(HKEY_LOCAL_MACHINE, "v", 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>("\0\0\0\0"), 4),
                  ERROR_BADDB);
        EXPECT_EQ(RegDeleteTreeA(HKEY_CLASSES_ROOT, nullptr), ERROR_BADDB);
        EXPECT_EQ(ImportRegistryText("REGEDIT4\n[HKEY_LOCAL_MACHINE\\X]\n"), ERROR_BADDB);
        EXPECT_EQ(testing::ReadFile(path), damage);
        // The other hive works on.
        EXPECT_EQ(SetString(user, "still", "works"), ERROR_SUCCESS);
    }
    RegCloseKey(user);
}

// "k\k\...": `levels` key names.
std::string Levels(size_t levels) {
    std::string path;
    for (size_t i = 0; i < levels; ++i) {
        path += i == 0 ? "k" : "\\k";
    }
    return path;
}

TEST(HiveFile, HiveBeyondTheKeyLimitsIsDamagedAndKept) {
    const auto path = HiveFilePath(Hive::CurrentUser);
    HKEY key = nullptr;
    // 512 levels below the root, names of 255 characters: the most a hive holds.
    testing::WriteFile(path, "REGEDIT4\n\n[HKEY_CURRENT_USER\\" + Levels(512) +
                                 "]\n\n[HKEY_CURRENT_USER\\" + std::string(255, 'n') + "]\n\n");
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, Levels(512).c_str(), 0, KEY_READ, &key),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, std::string(255, 'n').c_str(), 0, KEY_READ, &key),
              ERROR_SUCCESS);
    RegCloseKey(key);

    const std::vector<std::string> beyond = {
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\" + Levels(513) + "]\n\n",
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\" + Levels(600) + "]\n\n",
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\" + std::string(256, 'n') + "]\n\n",
    };
    for (const std::string& text : beyond) {
        testing::WriteFile(path, text);
        Key root;
        EXPECT_EQ(ParseHive(Hive::CurrentUser, text, &root), ERROR_BADDB);
        EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "k", 0, KEY_READ, &key), ERROR_BADDB);
        EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\New", &key), ERROR_BADDB);
        EXPECT_EQ(ImportRegistryText("REGEDIT4\n[HKEY_CURRENT_USER\\X]\n"), ERROR_BADDB);
        EXPECT_EQ(testing::ReadFile(path), text);
    }
}

TEST(HiveFile, HiveThatIsNotARegularFileIsDamaged) {
    // Anything but a regular file is refused unread: a device may never end and the open of
    // a pipe would wait for a writer.
    const auto path = HiveFilePath(Hive::CurrentUser);
    ASSERT_TRUE(std::filesystem::create_directories(path));
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key), ERROR_BADDB);
    EXPECT_EQ(LastRegistryDamage(), path.string() + ": not a regular file");
    EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software", &key), ERROR_BADDB);
    EXPECT_TRUE(std::filesystem::is_directory(path));
}

// The byte counts at which a cut of `whole` still opens as a hive.
std::vector<size_t> CutsThatStillOpen(const std::string& whole) {
    const auto path = HiveFilePath(Hive::CurrentUser);
    std::vector<size_t> accepted;
    for (size_t length = 0; length < whole.size(); ++length) {
        const std::string cut = whole.substr(0, length);
        testing::WriteFile(path, cut);
        HKEY key = nullptr;
        const LONG opened = RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key);
        const LONG created = RegCreateKeyA(HKEY_CURRENT_USER, "Software\\New", &key);
        if (opened != ERROR_BADDB || created != ERROR_BADDB || testing::ReadFile(path) != cut) {
            accepted.push_back(length);
        }
    }
    return accepted;
}

TEST(HiveFile, HiveCutShortAnywhereIsDamagedAndKept) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Cut\\Deeper", &key), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, "text", "value"), ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Other", &key), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, "n", "1"), ERROR_SUCCESS);
    RegCloseKey(key);
    const std::string whole = testing::ReadFile(HiveFilePath(Hive::CurrentUser));
    // Cuts at the ends of sections and lines leave well-formed REGEDIT4 text; only the end
    // marker shows that something is missing.
    EXPECT_EQ(CutsThatStillOpen(whole), std::vector<size_t>{}) << whole;

    // The whole hive still works, and a copy of it cut short does not import either.
    testing::WriteFile(HiveFilePath(Hive::CurrentUser), whole);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Cut\\Deeper", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    RegCloseKey(key);
    const std::string section = "[HKEY_CURRENT_USER\\Software\\Other]";
    ASSERT_NE(whole.find(section), std::string::npos);
    EXPECT_EQ(ImportRegistryText(whole.substr(0, whole.find(section))), ERROR_BADDB);
    EXPECT_EQ(ImportRegistryText(whole), ERROR_SUCCESS);
    // Text written by people needs no end marker, even when it is as short as a cut hive.
    EXPECT_EQ(ImportRegistryText("REGEDIT4"), ERROR_SUCCESS);
    EXPECT_EQ(ImportRegistryText("REGEDIT4\n"), ERROR_SUCCESS);
    EXPECT_EQ(ImportRegistryText("REGEDIT4\n[HKEY_CURRENT_USER\\Software\\People]\n"),
              ERROR_SUCCESS);
}

TEST(HiveFile, HiveOfThePreviousFormatLoadsAndIsRewrittenWithTheEndMarker) {
    const auto path = HiveFilePath(Hive::CurrentUser);
    testing::WriteFile(path, "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Old]\n\"v\"=\"1\"\n\n");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Old", 0, KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    char data[8] = {};
    DWORD size = sizeof data;
    ASSERT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(data, "1");
    ASSERT_EQ(SetString(key, "w", "2"), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(testing::ReadFile(path),
              "REGEDIT4\n"
              "; Hive format 2: the last line is \"; End of hive\".\n\n"
              "[HKEY_CURRENT_USER\\Software]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Old]\n\"v\"=\"1\"\n\"w\"=\"2\"\n\n"
              "; End of hive\n");
}

TEST(HiveFile, ProcessesWritingTheSameKeyAtOnceLoseNothing) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Shared", &key), ERROR_SUCCESS);
    // Every write re-reads and rewrites the whole hive and flushes it to disk, so the count
    // is kept small enough for a quick test while the four writers still contend.
    constexpr int kProcesses = 4;
    constexpr int kValues = 200;
    // All children start writing when the parent closes the pipe.
    int start[2];
    ASSERT_EQ(pipe(start), 0);
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(start[1]);
            char byte;
            (void)!read(start[0], &byte, 1);
            int failures = 0;
            for (int i = 0; i < kValues; ++i) {
                const std::string name = "p" + std::to_string(p) + "v" + std::to_string(i);
                failures += SetString(key, name, name) != ERROR_SUCCESS;
            }
            _exit(failures == 0 ? 0 : 1);
        }
        children.push_back(pid);
    }
    close(start[0]);
    close(start[1]);
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(ValueCount("Software\\Shared"), static_cast<size_t>(kProcesses * kValues));
    DWORD values = 0;
    ASSERT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, static_cast<DWORD>(kProcesses * kValues));
    char data[16];
    DWORD size = sizeof data;
    const std::string last = "p3v" + std::to_string(kValues - 1);
    ASSERT_EQ(
        RegQueryValueExA(key, last.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(data, last);
    RegCloseKey(key);
}

std::string QueryString(HKEY key, const char* name) {
    char data[64] = {};
    DWORD size = sizeof data;
    EXPECT_EQ(RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size),
              ERROR_SUCCESS);
    return data;
}

TEST(HiveFile, AnUnchangedHiveIsParsedOnceAndEveryChangeIsSeen) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Cached", &key), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, "v", "0000"), ERROR_SUCCESS);
    std::shared_ptr<const Key> first;
    std::shared_ptr<const Key> second;
    ASSERT_EQ(ReadHiveSnapshot(Hive::CurrentUser, &first), ERROR_SUCCESS);
    ASSERT_EQ(ReadHiveSnapshot(Hive::CurrentUser, &second), ERROR_SUCCESS);
    EXPECT_EQ(first.get(), second.get());
    // Other processes change the value to texts of the same length in quick succession, so
    // the hive file keeps its size and may get its old inode and time stamp back.
    for (int round = 1; round <= 20; ++round) {
        const std::string text(4, static_cast<char>('0' + round % 10));
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            _exit(SetString(key, "v", text) == ERROR_SUCCESS ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_EQ(QueryString(key, "v"), text) << "round " << round;
    }
    // A hive replaced by other means (a person's editor) is seen too.
    std::shared_ptr<const Key> before;
    ASSERT_EQ(ReadHiveSnapshot(Hive::CurrentUser, &before), ERROR_SUCCESS);
    {
        std::string text;
        {
            std::ifstream in(HiveFilePath(Hive::CurrentUser), std::ios::binary);
            text.assign(std::istreambuf_iterator<char>(in), {});
        }
        const size_t at = text.find("\"v\"=\"");
        ASSERT_NE(at, std::string::npos);
        text.replace(at + 5, 4, "edit");
        const std::string temporary = HiveFilePath(Hive::CurrentUser).string() + ".edited";
        std::ofstream(temporary, std::ios::binary) << text;
        ASSERT_EQ(std::rename(temporary.c_str(), HiveFilePath(Hive::CurrentUser).c_str()), 0);
    }
    EXPECT_EQ(QueryString(key, "v"), "edit");
    std::shared_ptr<const Key> after;
    ASSERT_EQ(ReadHiveSnapshot(Hive::CurrentUser, &after), ERROR_SUCCESS);
    EXPECT_NE(before.get(), after.get());
    // The snapshot taken before is a tree of its own: later changes leave it as it was.
    const Key* cached = before->FindSubkey("Software")->FindSubkey("Cached");
    ASSERT_NE(cached, nullptr);
    EXPECT_EQ(cached->FindValue("v")->data, std::string("0000", 4) + '\0');
    RegCloseKey(key);
}

TEST(HiveFile, ThreadsWritingAtOnceLoseNothing) {
    constexpr int kThreads = 4;
    constexpr int kValues = 50;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    threads.reserve(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            HKEY key = nullptr;
            // Each thread also creates the key and closes its own handle.
            if (RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Threads", &key) != ERROR_SUCCESS) {
                ++failures;
                return;
            }
            for (int i = 0; i < kValues; ++i) {
                const std::string name = "t" + std::to_string(t) + "v" + std::to_string(i);
                failures += SetString(key, name, name) != ERROR_SUCCESS;
            }
            failures += RegCloseKey(key) != ERROR_SUCCESS;
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(ValueCount("Software\\Threads"), static_cast<size_t>(kThreads * kValues));
}

TEST(HiveFile, WriterKilledAtAnyMomentLeavesAReadableHive) {
    std::mt19937 random(20240611);
    // Large values make each write take long enough to be cut in the middle.
    const std::string blob(200000, 'b');
    int last_acknowledged = -1;
    for (int round = 0; round < 30; ++round) {
        int acks[2];
        ASSERT_EQ(pipe(acks), 0);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(acks[0]);
            HKEY key = nullptr;
            if (RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Killed", &key) != ERROR_SUCCESS) {
                _exit(1);
            }
            for (int i = last_acknowledged + 1;; ++i) {
                const std::string counter = std::to_string(i);
                if (SetString(key, "blob", blob + counter) != ERROR_SUCCESS ||
                    SetString(key, "counter", counter) != ERROR_SUCCESS) {
                    _exit(1);
                }
                // Tells the parent that write i is complete.
                if (write(acks[1], &i, sizeof i) != static_cast<ssize_t>(sizeof i)) {
                    _exit(1);
                }
            }
        }
        close(acks[1]);
        // Wait for the first completed write, so that the child is running, then kill it
        // at a random later moment. The delay chooses the moment; it synchronises nothing.
        int acknowledged = -1;
        ASSERT_EQ(read(acks[0], &acknowledged, sizeof acknowledged),
                  static_cast<ssize_t>(sizeof acknowledged));
        usleep(std::uniform_int_distribution<useconds_t>(0, 20000)(random));
        kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer failed before it was killed";
        int next = 0;
        while (read(acks[0], &next, sizeof next) == static_cast<ssize_t>(sizeof next)) {
            acknowledged = next;
        }
        close(acks[0]);

        // The hive parses, and holds a complete write not older than the last acknowledged.
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Killed", 0, KEY_READ, &key),
                  ERROR_SUCCESS)
            << "round " << round;
        char counter[16] = {};
        DWORD size = sizeof counter;
        ASSERT_EQ(RegQueryValueExA(key, "counter", nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(counter), &size),
                  ERROR_SUCCESS);
        const int stored = std::stoi(counter);
        EXPECT_GE(stored, acknowledged);
        DWORD blob_size = 0;
        ASSERT_EQ(RegQueryValueExA(key, "blob", nullptr, nullptr, nullptr, &blob_size),
                  ERROR_SUCCESS);
        EXPECT_GE(blob_size, blob.size() + 2);
        RegCloseKey(key);
        last_acknowledged = stored;
    }
}

}  // namespace
}  // namespace tevo::win::registry
