// Files and folders with their Windows names and signatures, and the platform's path
// resolver.
//
// Every path given to these functions goes through the resolver: "\" counts as a separator
// as "/" does; a path is first taken as it is, and when it does not exist its components
// are matched one by one without regard to letter case, as Windows file systems do, so
// that "HELP\HHCOLREG.DAT" finds "Help/hhcolreg.dat". A file that is created gets the name
// as given, in the folder that was found. Narrow texts are UTF-8. Every failure sets the
// last error to a Windows error code.
//
// Share modes are accepted and not enforced: several handles may use one file at once.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "tevo/win/sync.h"
#include "tevo/win/types.h"

// ---- Win32 error codes of file operations that winerror.h does not carry ----
constexpr LONG ERROR_NOT_SAME_DEVICE = 17;
constexpr LONG ERROR_SEEK = 25;
constexpr LONG ERROR_BUFFER_OVERFLOW = 111;
constexpr LONG ERROR_NEGATIVE_SEEK = 131;

// ---- Access rights, share modes, dispositions ----
constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD GENERIC_EXECUTE = 0x20000000;
constexpr DWORD GENERIC_ALL = 0x10000000;
constexpr DWORD FILE_READ_DATA = 0x0001;
constexpr DWORD FILE_WRITE_DATA = 0x0002;
constexpr DWORD FILE_APPEND_DATA = 0x0004;

constexpr DWORD FILE_SHARE_READ = 0x00000001;
constexpr DWORD FILE_SHARE_WRITE = 0x00000002;
constexpr DWORD FILE_SHARE_DELETE = 0x00000004;

constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;

// ---- Attributes and flags ----
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x00000001;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x00000002;
constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x00000004;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x00000010;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x00000020;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;
constexpr DWORD FILE_ATTRIBUTE_TEMPORARY = 0x00000100;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;

constexpr DWORD FILE_FLAG_WRITE_THROUGH = 0x80000000;
constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000;
constexpr DWORD FILE_FLAG_NO_BUFFERING = 0x20000000;
constexpr DWORD FILE_FLAG_RANDOM_ACCESS = 0x10000000;
constexpr DWORD FILE_FLAG_SEQUENTIAL_SCAN = 0x08000000;
constexpr DWORD FILE_FLAG_DELETE_ON_CLOSE = 0x04000000;
constexpr DWORD FILE_FLAG_BACKUP_SEMANTICS = 0x02000000;

// ---- File pointer and size ----
constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;
constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFF;
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFF;

// ---- MoveFileEx ----
constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x00000001;
constexpr DWORD MOVEFILE_COPY_ALLOWED = 0x00000002;
constexpr DWORD MOVEFILE_DELAY_UNTIL_REBOOT = 0x00000004;
constexpr DWORD MOVEFILE_WRITE_THROUGH = 0x00000008;

// ---- _splitpath buffer sizes (terminating zero included) ----
// A path inside the system root has the root as its drive (see sysroot.h), so a drive
// buffer must hold a whole path here, not just "C:".
constexpr int _MAX_PATH = 260;
constexpr int _MAX_DRIVE = 260;
constexpr int _MAX_DIR = 256;
constexpr int _MAX_FNAME = 256;
constexpr int _MAX_EXT = 256;

// Overlapped I/O is not supported; the structure exists for the signatures.
struct OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
};
using LPOVERLAPPED = OVERLAPPED*;

extern "C" {
// FILE_ATTRIBUTE_DIRECTORY for a folder, FILE_ATTRIBUTE_NORMAL for a file (or
// FILE_ATTRIBUTE_READONLY when its owner may not write it); INVALID_FILE_ATTRIBUTES with
// ERROR_FILE_NOT_FOUND, or ERROR_PATH_NOT_FOUND when its folder does not exist either.
DWORD GetFileAttributesA(LPCSTR name);
DWORD GetFileAttributesW(LPCWSTR name);

// Copies a file. The copy appears whole or not at all: it is written to a temporary file
// beside the target and renamed into place. With fail_if_exists, an existing target gives
// ERROR_FILE_EXISTS and is left unchanged.
BOOL CopyFileA(LPCSTR existing, LPCSTR target, BOOL fail_if_exists);
BOOL CopyFileW(LPCWSTR existing, LPCWSTR target, BOOL fail_if_exists);
// Deletes a file; a folder or a read-only file gives ERROR_ACCESS_DENIED.
BOOL DeleteFileA(LPCSTR name);
BOOL DeleteFileW(LPCWSTR name);
// Renames a file or folder in one atomic step. An existing target gives
// ERROR_ALREADY_EXISTS unless MOVEFILE_REPLACE_EXISTING is given (a folder is never
// replaced). Between file systems a file is copied and deleted when MOVEFILE_COPY_ALLOWED
// is given, otherwise ERROR_NOT_SAME_DEVICE. MOVEFILE_WRITE_THROUGH makes the rename
// durable before returning. MOVEFILE_DELAY_UNTIL_REBOOT is not supported.
BOOL MoveFileExA(LPCSTR existing, LPCSTR target, DWORD flags);
BOOL MoveFileExW(LPCWSTR existing, LPCWSTR target, DWORD flags);
// MoveFileEx with MOVEFILE_COPY_ALLOWED.
BOOL MoveFileA(LPCSTR existing, LPCSTR target);
BOOL MoveFileW(LPCWSTR existing, LPCWSTR target);
BOOL CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES attributes);
BOOL CreateDirectoryW(LPCWSTR name, LPSECURITY_ATTRIBUTES attributes);
// Removes an empty folder: ERROR_DIR_NOT_EMPTY, or ERROR_DIRECTORY for a file.
BOOL RemoveDirectoryA(LPCSTR name);
BOOL RemoveDirectoryW(LPCWSTR name);

// Forms "<path>/<prefix><XXXX>.tmp" in the buffer (at least MAX_PATH characters): up to
// three characters of the prefix and the unique number as four upper-case hex digits.
// With a non-zero unique (its low 16 bits are used), creates nothing and always gives the
// same name. With 0, creates a new empty file under a number not yet used in that folder
// (compared without regard to case) and returns the number. 0 on failure.
UINT GetTempFileNameA(LPCSTR path, LPCSTR prefix, UINT unique, LPSTR temp_file_name);
UINT GetTempFileNameW(LPCWSTR path, LPCWSTR prefix, UINT unique, LPWSTR temp_file_name);

// Opens or creates a file. Access GENERIC_READ and/or GENERIC_WRITE; dispositions
// CREATE_NEW, CREATE_ALWAYS, OPEN_EXISTING, OPEN_ALWAYS, TRUNCATE_EXISTING. CREATE_ALWAYS
// and OPEN_ALWAYS set the last error to ERROR_ALREADY_EXISTS when the file existed, else to
// 0. FILE_ATTRIBUTE_READONLY makes a new file read-only; FILE_FLAG_DELETE_ON_CLOSE deletes
// the file when the handle is closed; FILE_FLAG_WRITE_THROUGH writes synchronously.
// FILE_APPEND_DATA without GENERIC_WRITE or FILE_WRITE_DATA opens for appending: each
// WriteFile goes to the end of the file in one piece, also against other processes. A folder
// opens only with FILE_FLAG_BACKUP_SEMANTICS. INVALID_HANDLE_VALUE on failure.
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share_mode, LPSECURITY_ATTRIBUTES attributes,
                   DWORD disposition, DWORD flags_and_attributes, HANDLE template_file);
HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share_mode, LPSECURITY_ATTRIBUTES attributes,
                   DWORD disposition, DWORD flags_and_attributes, HANDLE template_file);
// Synchronous reads and writes at the file pointer (overlapped must be null). A read at the
// end of the file succeeds with 0 bytes.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytes_to_read, LPDWORD bytes_read,
              LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytes_to_write, LPDWORD bytes_written,
               LPOVERLAPPED overlapped);
BOOL FlushFileBuffers(HANDLE file);
// Low 32 bits of the size; the high ones in *size_high when given. INVALID_FILE_SIZE with
// the last error set on failure (the last error is 0 on success).
DWORD GetFileSize(HANDLE file, LPDWORD size_high);
// Moves the file pointer (FILE_BEGIN, FILE_CURRENT, FILE_END) by a signed distance of 32
// bits, or 64 bits with distance_high. Returns the low 32 bits of the new position (the
// high ones in *distance_high), INVALID_SET_FILE_POINTER with the last error set on
// failure (ERROR_NEGATIVE_SEEK before the start); the last error is 0 on success.
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distance_high, DWORD method);
// Cuts or extends the file at the file pointer.
BOOL SetEndOfFile(HANDLE file);

// Splits a path into drive, folder (with its trailing separator), name and extension (with
// its "."); any output may be null. The drive is "X:" for a path that starts with a drive
// letter, the system root for a path inside it, and empty otherwise. Each part is cut to
// fit its _MAX_ size, never in the middle of a character.
void _splitpath(const char* path, char* drive, char* dir, char* fname, char* ext);
void _wsplitpath(const wchar_t* path, wchar_t* drive, wchar_t* dir, wchar_t* fname, wchar_t* ext);
// The absolute form of a path, with "." and ".." removed and "/" as separator; does not
// look at the file system. Size protocol of GetWindowsDirectory; *file_part (when given)
// points at the last component in the buffer, or is null when the path ends with a
// separator.
DWORD GetFullPathNameA(LPCSTR name, DWORD size, LPSTR buffer, LPSTR* file_part);
DWORD GetFullPathNameW(LPCWSTR name, DWORD size, LPWSTR buffer, LPWSTR* file_part);
}

#ifdef UNICODE
#define GetFileAttributes GetFileAttributesW
#define CopyFile CopyFileW
#define DeleteFile DeleteFileW
#define MoveFileEx MoveFileExW
#define MoveFile MoveFileW
#define CreateDirectory CreateDirectoryW
#define RemoveDirectory RemoveDirectoryW
#define GetTempFileName GetTempFileNameW
#define CreateFile CreateFileW
#define GetFullPathName GetFullPathNameW
#else
#define GetFileAttributes GetFileAttributesA
#define CopyFile CopyFileA
#define DeleteFile DeleteFileA
#define MoveFileEx MoveFileExA
#define MoveFile MoveFileA
#define CreateDirectory CreateDirectoryA
#define RemoveDirectory RemoveDirectoryA
#define GetTempFileName GetTempFileNameA
#define CreateFile CreateFileA
#define GetFullPathName GetFullPathNameA
#endif

namespace tevo::win {

// What the resolver found for a path.
struct ResolvedPath {
    // The entry found; when the last component does not exist, the folder found joined with
    // that component as given (the name a new file gets).
    std::filesystem::path path;
    bool exists = false;
    // Whether the folder that holds (or would hold) the entry exists: a missing entry in an
    // existing folder is ERROR_FILE_NOT_FOUND, otherwise ERROR_PATH_NOT_FOUND.
    bool folder_exists = false;
};

// Resolves a path as the file functions do. Relative paths stay relative.
ResolvedPath ResolvePath(std::string_view path);
ResolvedPath ResolvePath(std::wstring_view path);

// Whether two names are equal without regard to letter case, as the resolver compares
// them (ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic letters).
bool NamesEqualIgnoringCase(std::string_view a, std::string_view b);

// The Windows error code for an errno value.
DWORD Win32ErrorFromErrno(int error);

// Replaces (or creates) a file with the given bytes so that readers, and the file after a
// crash at any moment, hold either the old or the new content: the bytes go to a temporary
// file in the same folder, which is flushed to disk and renamed over the target. An existing
// file keeps its permissions. The path is resolved as by the file functions. false with the
// last error set on failure; the target is then unchanged.
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes);

}  // namespace tevo::win
