// The program that the tests of Launcher and SetupRunner start, as the launched command and
// as "Setup.exe". The first argument chooses what it does:
//
//   exit N               ends with exit status N (negative numbers as exit(N) gives them)
//   signal N             kills itself with signal N
//   echo FILE ARGS...    writes its whole argument vector to FILE, each argument ended by a
//                        zero, and ends with 0
//   result-setup TEXT    sets the REG_SZ value ResultSetup under
//                        HKEY_LOCAL_MACHINE\SOFTWARE\Sorvant\Tmp to TEXT and ends with 0
//   write-values STOP    writes the values Writer0, Writer1, ... (each its own number) into
//                        that key, one change at a time, until the file STOP exists; then
//                        writes WriterCount, the number of values written, and ends with 0
//
// A failure ends it with status 100.
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string>

#include "tevo/win/registry.h"

namespace {

constexpr int kFailed = 100;
constexpr char kKeyPath[] = "SOFTWARE\\Sorvant\\Tmp";

bool SetString(const std::string& name, const std::string& text) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKeyPath, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const LONG status =
        RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

int Echo(const char* file, int argc, char** argv) {
    std::string all;
    for (int i = 0; i < argc; ++i) {
        all += argv[i];
        all += '\0';
    }
    std::ofstream out(file, std::ios::binary);
    out << all;
    return out.flush() ? 0 : kFailed;
}

int WriteValues(const char* stop_file) {
    int count = 0;
    while (access(stop_file, F_OK) != 0) {
        if (!SetString("Writer" + std::to_string(count), std::to_string(count))) {
            return kFailed;
        }
        ++count;
    }
    return SetString("WriterCount", std::to_string(count)) ? 0 : kFailed;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return kFailed;
    }
    const std::string mode = argv[1];
    if (mode == "exit" && argc == 3) {
        return static_cast<int>(std::strtol(argv[2], nullptr, 10));
    }
    if (mode == "signal" && argc == 3) {
        const int signal_number = static_cast<int>(std::strtol(argv[2], nullptr, 10));
        std::signal(signal_number, SIG_DFL);
        std::raise(signal_number);
        return kFailed;
    }
    if (mode == "echo" && argc >= 3) {
        return Echo(argv[2], argc, argv);
    }
    if (mode == "result-setup" && argc == 3) {
        return SetString("ResultSetup", argv[2]) ? 0 : kFailed;
    }
    if (mode == "write-values" && argc == 3) {
        return WriteValues(argv[2]);
    }
    return kFailed;
}
