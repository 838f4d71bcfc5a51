// Message boxes written to standard error and to messages.log in the system root.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "tevo/win/messagebox.h"
#include "tevo/win/sysroot.h"
#include "tevo/win/text.h"

namespace {

// Writes the whole line; one write call unless the system splits it.
void WriteLine(int fd, const std::string& line) {
    std::size_t written = 0;
    while (written < line.size()) {
        const ssize_t n = write(fd, line.data() + written, line.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        written += static_cast<std::size_t>(n);
    }
}

int Show(const std::string& text, const std::string& caption) {
    const std::string line = caption + ": " + text + "\n";
    WriteLine(STDERR_FILENO, line);
    const std::filesystem::path log = tevo::win::SystemRoot() / "messages.log";
    // O_APPEND puts each write at the end of the file in one step, also against other
    // processes appending at the same moment.
    const int fd = open(log.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd >= 0) {
        WriteLine(fd, line);
        close(fd);
    }
    return IDOK;
}

}  // namespace

extern "C" int MessageBoxA(HWND /*owner*/, LPCSTR text, LPCSTR caption, UINT /*type*/) {
    return Show(text != nullptr ? text : "", caption != nullptr ? caption : "Error");
}

extern "C" int MessageBoxW(HWND /*owner*/, LPCWSTR text, LPCWSTR caption, UINT /*type*/) {
    return Show(text != nullptr ? tevo::win::WideToUtf8(text) : std::string(),
                caption != nullptr ? tevo::win::WideToUtf8(caption) : std::string("Error"));
}
