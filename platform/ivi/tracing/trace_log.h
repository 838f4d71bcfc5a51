// TraceLog: the file that the tracing service appends its lines to.
//
// The log is the file named by the environment variable TEVO_TRACE_FILE, else trace.log
// in the system root's temporary directory. Each line goes to the file in one append
// (one write at the end of the file, through a handle opened for appending only), so lines
// from several threads and processes never interleave, whatever the number of writers.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

#include "tevo/win/types.h"

namespace tevo::ivi::tracing {

// The path of the trace log for the current environment and system root.
std::string TraceLogPath();

// The line as it stands in the log: "YYYY-MM-DD hh:mm:ss.mmm [pid] text" and a line feed.
// Line breaks inside the text become blanks, so that one record is always one line.
std::string FormatLogRecord(std::string_view text);

class TraceLog {
  public:
    TraceLog() = default;
    ~TraceLog();
    TraceLog(const TraceLog&) = delete;
    TraceLog& operator=(const TraceLog&) = delete;

    // Appends one record (see FormatLogRecord) for the text. The file is opened (and
    // created) at the first append. S_OK, or the HRESULT of the Win32 error.
    HRESULT Append(std::string_view text);

  private:
    std::mutex mutex_;
    HANDLE file_ = nullptr;
};

}  // namespace tevo::ivi::tracing
