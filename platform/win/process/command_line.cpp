// Command lines: splitting and joining by the Windows C runtime rules, this process's own
// command line, and CommandLineToArgvW.
#include "command_line.h"

#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "tevo/win/lasterror.h"
#include "tevo/win/process.h"
#include "tevo/win/resources.h"
#include "tevo/win/shell.h"
#include "tevo/win/text.h"
#include "tevo/win/winerror.h"

namespace tevo::win {
namespace detail {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

ProgramToken ReadProgramToken(std::string_view text) {
    ProgramToken token;
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    token.begin = i;
    bool in_quotes = false;
    while (i < text.size() && (in_quotes || !IsBlank(text[i]))) {
        if (text[i] == '"') {
            in_quotes = !in_quotes;
            token.quoted = true;
        } else {
            token.name += text[i];
        }
        ++i;
    }
    token.end = i;
    return token;
}

}  // namespace detail

std::vector<std::string> SplitArguments(std::string_view text) {
    std::vector<std::string> arguments;
    std::size_t i = 0;
    const std::size_t n = text.size();
    for (;;) {
        while (i < n && detail::IsBlank(text[i])) {
            ++i;
        }
        if (i >= n) {
            return arguments;
        }
        std::string argument;
        bool in_quotes = false;
        for (;;) {
            std::size_t backslashes = 0;
            while (i < n && text[i] == '\\') {
                ++backslashes;
                ++i;
            }
            if (i < n && text[i] == '"') {
                argument.append(backslashes / 2, '\\');
                if (backslashes % 2 == 1) {
                    argument += '"';  // escaped quote
                    ++i;
                } else if (in_quotes && i + 1 < n && text[i + 1] == '"') {
                    argument += '"';  // "" inside quotes
                    i += 2;
                } else {
                    in_quotes = !in_quotes;
                    ++i;
                }
                continue;
            }
            argument.append(backslashes, '\\');
            if (i >= n || (!in_quotes && detail::IsBlank(text[i]))) {
                break;
            }
            argument += text[i++];
        }
        arguments.push_back(std::move(argument));
    }
}

std::vector<std::string> SplitCommandLine(std::string_view command_line) {
    detail::ProgramToken program = detail::ReadProgramToken(command_line);
    if (program.name.empty() && !program.quoted) {
        return {};
    }
    std::vector<std::string> arguments{std::move(program.name)};
    std::vector<std::string> rest = SplitArguments(command_line.substr(program.end));
    arguments.insert(arguments.end(), std::make_move_iterator(rest.begin()),
                     std::make_move_iterator(rest.end()));
    return arguments;
}

std::string QuoteArgument(std::string_view argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string_view::npos) {
        return std::string(argument);
    }
    std::string quoted = "\"";
    std::size_t i = 0;
    for (;;) {
        std::size_t backslashes = 0;
        while (i < argument.size() && argument[i] == '\\') {
            ++backslashes;
            ++i;
        }
        if (i == argument.size()) {
            // Doubled, so that the closing quote stays a quote.
            quoted.append(backslashes * 2, '\\');
            break;
        }
        if (argument[i] == '"') {
            quoted.append(backslashes * 2 + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        quoted += argument[i++];
    }
    quoted += '"';
    return quoted;
}

std::string JoinCommandLine(const std::vector<std::string>& arguments) {
    std::string line;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (i == 0) {
            const bool needs_quotes =
                argument.empty() || argument.find_first_of(" \t") != std::string::npos;
            line += needs_quotes ? "\"" + argument + "\"" : argument;
        } else {
            line += ' ';
            line += QuoteArgument(argument);
        }
    }
    return line;
}

namespace {

// The arguments this process was started with, as the kernel keeps them.
std::vector<std::string> OwnArguments() {
    std::ifstream file("/proc/self/cmdline", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    std::vector<std::string> arguments;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\0', start);
        if (end == std::string::npos) {
            end = bytes.size();
        }
        arguments.emplace_back(bytes, start, end - start);
        start = end + 1;
    }
    return arguments;
}

std::string& OwnCommandLine() {
    static std::string line = JoinCommandLine(OwnArguments());
    return line;
}

std::wstring& OwnCommandLineWide() {
    static std::wstring line = Utf8ToWide(OwnCommandLine());
    return line;
}

std::string OwnExecutablePath() {
    std::string path(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    path.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return path;
}

}  // namespace
}  // namespace tevo::win

extern "C" LPSTR GetCommandLineA() {
    return tevo::win::OwnCommandLine().data();
}

extern "C" LPWSTR GetCommandLineW() {
    return tevo::win::OwnCommandLineWide().data();
}

extern "C" LPWSTR* CommandLineToArgvW(LPCWSTR command_line, int* count) {
    if (count == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::vector<std::wstring> arguments;
    if (command_line == nullptr || *command_line == L'\0') {
        arguments.push_back(tevo::win::Utf8ToWide(tevo::win::OwnExecutablePath()));
    } else {
        for (const std::string& argument :
             tevo::win::SplitCommandLine(tevo::win::WideToUtf8(command_line))) {
            arguments.push_back(tevo::win::Utf8ToWide(argument));
        }
    }
    // One block: the pointer array (with a null after the last), then the strings.
    std::size_t bytes = (arguments.size() + 1) * sizeof(LPWSTR);
    for (const std::wstring& argument : arguments) {
        bytes += (argument.size() + 1) * sizeof(wchar_t);
    }
    auto* block = static_cast<LPWSTR*>(LocalAlloc(LMEM_FIXED, bytes));
    if (block == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto* text = reinterpret_cast<wchar_t*>(block + arguments.size() + 1);
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        block[i] = text;
        std::memcpy(text, arguments[i].c_str(), (arguments[i].size() + 1) * sizeof(wchar_t));
        text += arguments[i].size() + 1;
    }
    block[arguments.size()] = nullptr;
    *count = static_cast<int>(arguments.size());
    return block;
}
