// The program that the process tests start. The first argument chooses what it does;
// reports are written to files in its current folder, so that they also show which
// folder it runs in.
//
//   echo ARGS...       writes its whole argument vector to argv.out (each ended by a zero)
//                      and its command line (GetCommandLineA) to cmdline.out
//   exit N             ends with exit status N
//   signal N           kills itself with signal N
//   wait FIFO [N]      reads the FIFO until no writer holds it open, then ends with status N
//   env NAME           writes the value of NAME, or "(unset)", to env.out
//   fds                writes its open descriptors above 2, one per line, to fds.out
//   signals            writes the SIGPIPE disposition and the number of blocked signals
//                      to signals.out
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string>

#include "tevo/win/process.h"

namespace {

// A number argument; 0 when it is not one.
int Number(const char* text) {
    return static_cast<int>(std::strtol(text, nullptr, 10));
}

void WriteReport(const char* name, const std::string& text) {
    std::ofstream(name, std::ios::binary) << text;
}

int Echo(int argc, char** argv) {
    std::string all;
    for (int i = 0; i < argc; ++i) {
        all += argv[i];
        all += '\0';
    }
    WriteReport("argv.out", all);
    WriteReport("cmdline.out", GetCommandLineA());
    return 0;
}

int WaitOnFifo(const char* path) {
    // Opened without blocking, so that a gate released before this open lets the program
    // go at once (a FIFO without writers reads as at its end) instead of blocking here.
    const int fd = open(path, O_RDONLY | O_NONBLOCK);
    if (fd < 0 || fcntl(fd, F_SETFL, 0) != 0) {
        return 100;
    }
    char buffer[64];
    while (read(fd, buffer, sizeof buffer) > 0) {
    }
    close(fd);
    return 0;
}

int ListDescriptors() {
    std::string list;
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) {
        return 100;
    }
    const int own = dirfd(dir);
    while (const dirent* entry = readdir(dir)) {
        const int fd = Number(entry->d_name);
        if (entry->d_name[0] != '.' && fd > 2 && fd != own) {
            list += std::to_string(fd) + "\n";
        }
    }
    closedir(dir);
    WriteReport("fds.out", list);
    return 0;
}

int ReportSignals() {
    struct sigaction action {};
    sigaction(SIGPIPE, nullptr, &action);
    sigset_t blocked;
    sigprocmask(SIG_SETMASK, nullptr, &blocked);
    int count = 0;
    for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
        count += sigismember(&blocked, signal_number) == 1 ? 1 : 0;
    }
    WriteReport("signals.out", std::string("SIGPIPE=") +
                                   (action.sa_handler == SIG_IGN ? "ignored" : "default") +
                                   " blocked=" + std::to_string(count));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return 99;
    }
    const std::string mode = argv[1];
    if (mode == "echo") {
        return Echo(argc, argv);
    }
    if (mode == "exit" && argc >= 3) {
        return Number(argv[2]);
    }
    if (mode == "signal" && argc >= 3) {
        const int signal_number = Number(argv[2]);
        std::signal(signal_number, SIG_DFL);
        std::raise(signal_number);
        return 98;
    }
    if (mode == "wait" && argc >= 3) {
        const int waited = WaitOnFifo(argv[2]);
        return waited != 0 ? waited : (argc >= 4 ? Number(argv[3]) : 0);
    }
    if (mode == "env" && argc >= 3) {
        const char* value = std::getenv(argv[2]);
        WriteReport("env.out", value != nullptr ? value : "(unset)");
        return 0;
    }
    if (mode == "fds") {
        return ListDescriptors();
    }
    if (mode == "signals") {
        return ReportSignals();
    }
    return 99;
}
