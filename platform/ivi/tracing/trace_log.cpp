#include "trace_log.h"

#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "tevo/win/windows.h"

namespace tevo::ivi::tracing {

std::string TraceLogPath() {
    const char* named = std::getenv("TEVO_TRACE_FILE");
    if (named != nullptr && *named != '\0') {
        return named;
    }
    return (tevo::win::TempDirectory() / "trace.log").string();
}

std::string FormatLogRecord(std::string_view text) {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "%04d-%02d-%02d %02d:%02d:%02d.%03d [%lu] ",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, static_cast<int>(millis),
                  static_cast<unsigned long>(GetCurrentProcessId()));
    std::string record(prefix);
    record.reserve(record.size() + text.size() + 1);
    for (const char c : text) {
        record.push_back(c == '\n' || c == '\r' ? ' ' : c);
    }
    record.push_back('\n');
    return record;
}

TraceLog::~TraceLog() {
    if (file_ != nullptr) {
        CloseHandle(file_);
    }
}

HRESULT TraceLog::Append(std::string_view text) {
    const std::string record = FormatLogRecord(text);
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_ == nullptr) {
        // Append-only access: every write lands at the end of the file as one piece.
        const std::string path = TraceLogPath();
        HANDLE file = INVALID_HANDLE_VALUE;
        // Another process may create the file between the check for it and the creation,
        // which then fails with ERROR_FILE_EXISTS: the next attempt opens it.
        for (int attempt = 0; attempt < 3 && file == INVALID_HANDLE_VALUE; ++attempt) {
            file = CreateFileA(path.c_str(), FILE_APPEND_DATA,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) {
                break;
            }
        }
        if (file == INVALID_HANDLE_VALUE) {
            return HRESULT_FROM_WIN32(GetLastError());
        }
        file_ = file;
    }
    DWORD written = 0;
    if (!WriteFile(file_, record.data(), static_cast<DWORD>(record.size()), &written, nullptr)) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    return S_OK;
}

}  // namespace tevo::ivi::tracing
