#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "tevo/testing/temp_dir.h"
#include "tevo/win/files.h"
#include "tevo/win/lasterror.h"
#include "tevo/win/text.h"
#include "tevo/win/winerror.h"

namespace {

namespace fs = std::filesystem;
using tevo::testing::TempDir;

constexpr DWORD Code(LONG code) {
    return static_cast<DWORD>(code);
}

class FileHandles : public ::testing::Test {
  protected:
    std::string At(const std::string& name) const { return (dir_.path() / name).string(); }
    HANDLE Open(const std::string& name, DWORD access, DWORD disposition, DWORD flags = 0) {
        return CreateFileA(At(name).c_str(), access, 0, nullptr, disposition,
                           flags | FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    TempDir dir_;
};

bool WriteText(HANDLE file, const std::string& text) {
    DWORD written = 0;
    return ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

std::string ReadText(HANDLE file, DWORD count) {
    std::string text(count, '\0');
    DWORD read = 0;
    if (!::ReadFile(file, text.data(), count, &read, nullptr)) {
        return "<failed>";
    }
    text.resize(read);
    return text;
}

TEST_F(FileHandles, DispositionsCreateOpenAndTruncateAsOnWindows) {
    HANDLE file = Open("data.txt", GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(WriteText(file, "first"));
    EXPECT_TRUE(CloseHandle(file));

    EXPECT_EQ(Open("DATA.TXT", GENERIC_WRITE, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), Code(ERROR_FILE_EXISTS));

    file = Open("Data.Txt", GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), Code(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(ReadText(file, 100), "first");
    CloseHandle(file);

    file = Open("data.TXT", GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), Code(ERROR_ALREADY_EXISTS));
    EXPECT_TRUE(WriteText(file, "2nd"));
    CloseHandle(file);
    EXPECT_EQ(tevo::testing::ReadFile(dir_ / "data.txt"), "2nd");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 1);

    file = Open("data.txt", GENERIC_WRITE, TRUNCATE_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_EQ(tevo::testing::ReadFile(dir_ / "data.txt"), "");
    EXPECT_EQ(Open("data.txt", GENERIC_READ, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), Code(ERROR_INVALID_PARAMETER));

    file = Open("fresh.txt", GENERIC_WRITE, OPEN_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), Code(ERROR_SUCCESS));
    CloseHandle(file);
    file = Open("fresh2.txt", GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), Code(ERROR_SUCCESS));
    CloseHandle(file);
}

TEST_F(FileHandles, OpeningReportsMissingFilesFoldersAndDeniedAccess) {
    EXPECT_EQ(Open("none.txt", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), Code(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Open("none/x.txt", GENERIC_WRITE, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), Code(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(Open("x.txt", GENERIC_READ, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), Code(ERROR_INVALID_PARAMETER));

    fs::create_directory(dir_ / "folder");
    EXPECT_EQ(Open("folder", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), Code(ERROR_ACCESS_DENIED));
    const HANDLE folder = Open("FOLDER", GENERIC_READ, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    EXPECT_NE(folder, INVALID_HANDLE_VALUE);
    CloseHandle(folder);

    const HANDLE read_only = CreateFileW(tevo::win::Utf8ToWide(At("ro.txt")).c_str(), GENERIC_WRITE,
                                         0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_READONLY, nullptr);
    ASSERT_NE(read_only, INVALID_HANDLE_VALUE);
    CloseHandle(read_only);
    EXPECT_EQ(GetFileAttributesA(At("ro.txt").c_str()), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(Open("ro.txt", GENERIC_WRITE, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), Code(ERROR_ACCESS_DENIED));
    const HANDLE reader = Open("ro.txt", GENERIC_READ, OPEN_EXISTING);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    CloseHandle(reader);
}

TEST_F(FileHandles, ReadsAndWritesFollowTheFilePointer) {
    const HANDLE file = Open("pointer.bin", GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(WriteText(file, "0123456789"));
    DWORD high = 7;
    EXPECT_EQ(GetFileSize(file, &high), 10u);
    EXPECT_EQ(high, 0u);

    EXPECT_EQ(SetFilePointer(file, 2, nullptr, FILE_BEGIN), 2u);
    EXPECT_EQ(ReadText(file, 3), "234");
    EXPECT_EQ(SetFilePointer(file, -1, nullptr, FILE_CURRENT), 4u);
    EXPECT_EQ(ReadText(file, 2), "45");
    EXPECT_EQ(SetFilePointer(file, -3, nullptr, FILE_END), 7u);
    EXPECT_EQ(ReadText(file, 100), "789");
    EXPECT_EQ(ReadText(file, 100), "");  // the end: success with nothing

    EXPECT_EQ(SetFilePointer(file, -20, nullptr, FILE_END), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), Code(ERROR_NEGATIVE_SEEK));
    LONG far_high = 1;  // 4 GiB + 5, as a 64-bit distance
    EXPECT_EQ(SetFilePointer(file, 5, &far_high, FILE_BEGIN), 5u);
    EXPECT_EQ(far_high, 1);
    EXPECT_EQ(SetFilePointer(file, 4, nullptr, FILE_BEGIN), 4u);
    EXPECT_TRUE(SetEndOfFile(file));
    EXPECT_TRUE(FlushFileBuffers(file));
    EXPECT_EQ(GetFileSize(file, nullptr), 4u);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(tevo::testing::ReadFile(dir_ / "pointer.bin"), "0123");
}

TEST_F(FileHandles, OperationsCheckAccessAndHandles) {
    tevo::testing::WriteFile(dir_ / "text.txt", "abc");
    const HANDLE reader = Open("text.txt", GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    DWORD written = 99;
    EXPECT_FALSE(::WriteFile(reader, "x", 1, &written, nullptr));
    EXPECT_EQ(GetLastError(), Code(ERROR_ACCESS_DENIED));
    EXPECT_EQ(written, 0u);
    OVERLAPPED overlapped{};
    char byte = 0;
    EXPECT_FALSE(::ReadFile(reader, &byte, 1, nullptr, &overlapped));
    EXPECT_EQ(GetLastError(), Code(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(CloseHandle(reader));

    EXPECT_FALSE(::ReadFile(reader, &byte, 1, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), Code(ERROR_INVALID_HANDLE));
    EXPECT_EQ(GetFileSize(reader, nullptr), INVALID_FILE_SIZE);
    EXPECT_EQ(GetLastError(), Code(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(CloseHandle(reader));

    // A semaphore is a handle, but not a file.
    const HANDLE semaphore = CreateSemaphoreA(nullptr, 0, 1, nullptr);
    EXPECT_FALSE(::WriteFile(semaphore, "x", 1, &written, nullptr));
    EXPECT_EQ(GetLastError(), Code(ERROR_INVALID_HANDLE));
    CloseHandle(semaphore);
}

TEST_F(FileHandles, DeleteOnCloseRemovesTheFile) {
    const HANDLE file = Open("scratch.tmp", GENERIC_WRITE, CREATE_ALWAYS,
                             FILE_FLAG_DELETE_ON_CLOSE | FILE_ATTRIBUTE_TEMPORARY);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(fs::exists(dir_ / "scratch.tmp"));
    CloseHandle(file);
    EXPECT_FALSE(fs::exists(dir_ / "scratch.tmp"));
}

}  // namespace
