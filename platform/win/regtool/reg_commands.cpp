#include "reg_commands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace tevo::regtool {

namespace {

constexpr const char* kSuccess = "The operation completed successfully.";
constexpr const char* kNotFound =
    "ERROR: The system was unable to find the specified registry key or value.";
constexpr const char* kCanceled = "The operation was canceled by the user.";
constexpr const char* kFileError =
    "ERROR: Error opening the file. There may be a disk or file system error.";
constexpr const char* kDefaultName = "(Default)";
// The largest file reg imports: far more than any registry text people write, and small
// enough that reading and parsing it never exhausts memory.
constexpr std::uintmax_t kMaxImportBytes = std::uintmax_t{64} << 20;

struct ValueData {
    std::string name;
    DWORD type = 0;
    std::string data;
};

// An open key, closed on destruction.
class OpenKey {
  public:
    OpenKey() = default;
    ~OpenKey() {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    HKEY* out() { return &key_; }
    HKEY get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

std::string ErrorText(LONG status) {
    switch (status) {
        case ERROR_FILE_NOT_FOUND:
            return kNotFound;
        case ERROR_ACCESS_DENIED:
            return "ERROR: Access is denied.";
        case ERROR_BADDB:
            return "ERROR: The configuration registry database is corrupt.";
        case ERROR_KEY_DELETED:
            return "ERROR: Illegal operation attempted on a registry key that has been marked "
                   "for deletion.";
        case ERROR_INVALID_PARAMETER:
            return "ERROR: The parameter is incorrect.";
        case ERROR_BAD_PATHNAME:
            return "ERROR: The specified path is invalid.";
        default:
            return "ERROR: Error accessing the registry.";
    }
}

int Fail(Console& console, LONG status) {
    console.err << ErrorText(status) << "\n";
    // The Windows text names no place; the damaged hive's file and line follow it.
    if (status == ERROR_BADDB) {
        const std::string damage = tevo::win::LastRegistryDamage();
        if (!damage.empty()) {
            console.err << damage << "\n";
        }
    }
    return 1;
}

int InvalidKey(Console& console, Operation operation) {
    console.err << "ERROR: Invalid key name.\nType \"REG " << OperationName(operation)
                << " /?\" for usage.\n";
    return 1;
}

int Succeeded(Console& console) {
    console.out << kSuccess << "\n";
    return 0;
}

// Asks until the answer is yes or no; the end of input is no.
bool Confirm(Console& console, const std::string& question) {
    while (true) {
        console.out << question << " " << std::flush;
        std::string line;
        if (!std::getline(console.in, line)) {
            console.out << "\n";
            return false;
        }
        std::string answer;
        for (char c : line) {
            if (c != ' ' && c != '\t' && c != '\r') {
                answer.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c + 0x20) : c);
            }
        }
        if (answer == "y" || answer == "yes") {
            return true;
        }
        if (answer == "n" || answer == "no") {
            return false;
        }
    }
}

int Canceled(Console& console) {
    console.out << kCanceled << "\n";
    return 1;
}

LONG ReadValues(HKEY key, std::vector<ValueData>* values) {
    values->clear();
    for (DWORD index = 0;; ++index) {
        DWORD longest_name = 0;
        DWORD longest_data = 0;
        LONG status = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                       nullptr, &longest_name, &longest_data, nullptr, nullptr);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        std::string name(longest_name + 1, '\0');
        std::string data(longest_data, '\0');
        DWORD name_size = longest_name + 1;
        DWORD data_size = longest_data;
        DWORD type = 0;
        status = RegEnumValueA(key, index, name.data(), &name_size, nullptr, &type,
                               reinterpret_cast<BYTE*>(data.data()), &data_size);
        if (status == ERROR_NO_MORE_ITEMS) {
            return ERROR_SUCCESS;
        }
        if (status == ERROR_MORE_DATA) {
            --index;  // changed meanwhile: read this one again with the new sizes
            continue;
        }
        if (status != ERROR_SUCCESS) {
            return status;
        }
        name.resize(name_size);
        data.resize(data_size);
        values->push_back(ValueData{std::move(name), type, std::move(data)});
    }
}

LONG ReadSubkeys(HKEY key, std::vector<std::string>* names) {
    names->clear();
    for (DWORD index = 0;; ++index) {
        char name[1024];
        DWORD size = sizeof name;
        const LONG status =
            RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            return ERROR_SUCCESS;
        }
        if (status != ERROR_SUCCESS) {
            return status;
        }
        names->emplace_back(name, size);
    }
}

LONG ReadValue(HKEY key, const std::string& name, ValueData* value) {
    while (true) {
        DWORD size = 0;
        LONG status = RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, &size);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        value->name = name;
        value->data.assign(size, '\0');
        status = RegQueryValueExA(key, name.c_str(), nullptr, &value->type,
                                  reinterpret_cast<BYTE*>(value->data.data()), &size);
        if (status == ERROR_MORE_DATA) {
            continue;  // grew meanwhile
        }
        value->data.resize(size);
        return status;
    }
}

const char* TypeName(DWORD type) {
    switch (type) {
        case REG_NONE:
            return "REG_NONE";
        case REG_SZ:
            return "REG_SZ";
        case REG_EXPAND_SZ:
            return "REG_EXPAND_SZ";
        case REG_BINARY:
            return "REG_BINARY";
        case REG_DWORD:
            return "REG_DWORD";
        case REG_DWORD_BIG_ENDIAN:
            return "REG_DWORD_BIG_ENDIAN";
        case REG_LINK:
            return "REG_LINK";
        case REG_MULTI_SZ:
            return "REG_MULTI_SZ";
        case REG_QWORD:
            return "REG_QWORD";
        default:
            return "REG_UNKNOWN";
    }
}

bool TypeFromName(const std::string& text, DWORD* type) {
    std::string name;
    for (char c : text) {
        name.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 0x20) : c);
    }
    static const std::pair<const char*, DWORD> kTypes[] = {
        {"REG_SZ", REG_SZ},
        {"REG_MULTI_SZ", REG_MULTI_SZ},
        {"REG_EXPAND_SZ", REG_EXPAND_SZ},
        {"REG_DWORD", REG_DWORD},
        {"REG_DWORD_LITTLE_ENDIAN", REG_DWORD_LITTLE_ENDIAN},
        {"REG_DWORD_BIG_ENDIAN", REG_DWORD_BIG_ENDIAN},
        {"REG_QWORD", REG_QWORD},
        {"REG_QWORD_LITTLE_ENDIAN", REG_QWORD_LITTLE_ENDIAN},
        {"REG_BINARY", REG_BINARY},
        {"REG_NONE", REG_NONE},
    };
    for (const auto& [known, value] : kTypes) {
        if (name == known) {
            *type = value;
            return true;
        }
    }
    return false;
}

ULONGLONG LittleEndian(const std::string& data, size_t bytes) {
    ULONGLONG number = 0;
    for (size_t i = 0; i < bytes; ++i) {
        number |= static_cast<ULONGLONG>(static_cast<unsigned char>(data[i])) << (8 * i);
    }
    return number;
}

std::string HexBytes(const std::string& data) {
    std::string text;
    for (char c : data) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned char>(c));
        text += pair;
    }
    return text;
}

std::string Hex(ULONGLONG number) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(number));
    return text;
}

// The strings of a REG_MULTI_SZ: up to its terminating empty string.
std::vector<std::string> SplitMulti(const std::string& data) {
    std::string body = data;
    if (!body.empty() && body.back() == '\0') {
        body.pop_back();
    }
    if (!body.empty() && body.back() == '\0') {
        body.pop_back();
    }
    std::vector<std::string> items;
    if (body.empty()) {
        return items;
    }
    size_t start = 0;
    while (true) {
        const size_t end = body.find('\0', start);
        items.push_back(body.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) {
            return items;
        }
        start = end + 1;
    }
}

std::string FormatData(const ValueData& value, const std::string& separator) {
    switch (value.type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
            return std::string(value.data.c_str());
        case REG_MULTI_SZ: {
            std::string text;
            const std::vector<std::string> items = SplitMulti(value.data);
            for (size_t i = 0; i < items.size(); ++i) {
                text += (i > 0 ? separator : "") + items[i];
            }
            return text;
        }
        case REG_DWORD:
            if (value.data.size() == 4) {
                return Hex(LittleEndian(value.data, 4));
            }
            break;
        case REG_DWORD_BIG_ENDIAN:
            if (value.data.size() == 4) {
                const std::string reversed(value.data.rbegin(), value.data.rend());
                return Hex(LittleEndian(reversed, 4));
            }
            break;
        case REG_QWORD:
            if (value.data.size() == 8) {
                return Hex(LittleEndian(value.data, 8));
            }
            break;
        default:
            break;
    }
    return HexBytes(value.data);
}

std::string ValueLine(const ValueData& value, const std::string& separator) {
    std::string line = "    ";
    line += value.name.empty() ? std::string(kDefaultName) : value.name;
    line += "    ";
    line += TypeName(value.type);
    line += "    ";
    line += FormatData(value, separator);
    line += '\n';
    return line;
}

// Visits the key and every key below it, parents first.
LONG Walk(HKEY key, const std::string& display,
          const std::function<LONG(HKEY, const std::string&)>& visit) {
    LONG status = visit(key, display);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    std::vector<std::string> names;
    status = ReadSubkeys(key, &names);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    for (const std::string& name : names) {
        OpenKey child;
        status = RegOpenKeyExA(key, name.c_str(), 0, KEY_READ, child.out());
        if (status == ERROR_FILE_NOT_FOUND) {
            continue;  // deleted meanwhile
        }
        if (status != ERROR_SUCCESS) {
            return status;
        }
        std::string child_display = display;
        child_display += '\\';
        child_display += name;
        status = Walk(child.get(), child_display, visit);
        if (status != ERROR_SUCCESS) {
            return status;
        }
    }
    return ERROR_SUCCESS;
}

bool ParseNumber(const std::string& text, ULONGLONG limit, ULONGLONG* number) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* first = text.data() + (hex ? 2 : 0);
    const char* last = text.data() + text.size();
    if (first == last) {
        return false;
    }
    unsigned long long parsed = 0;
    const auto result = std::from_chars(first, last, parsed, hex ? 16 : 10);
    if (result.ec != std::errc() || result.ptr != last || parsed > limit) {
        return false;
    }
    *number = parsed;
    return true;
}

// Turns the text of /d into the stored bytes of the type.
bool EncodeData(DWORD type, const std::string& text, const std::string& separator,
                std::string* data) {
    data->clear();
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
            *data = text;
            data->push_back('\0');
            return true;
        case REG_MULTI_SZ: {
            // "a\0b" and "a\0b\0" both hold the strings a and b.
            size_t start = 0;
            while (start < text.size()) {
                const size_t end = text.find(separator, start);
                *data += text.substr(start, end == std::string::npos ? end : end - start);
                data->push_back('\0');
                if (end == std::string::npos) {
                    break;
                }
                start = end + separator.size();
            }
            data->push_back('\0');
            return true;
        }
        case REG_DWORD:
        case REG_DWORD_BIG_ENDIAN:
        case REG_QWORD: {
            const size_t bytes = type == REG_QWORD ? 8 : 4;
            ULONGLONG number = 0;
            if (!text.empty() && !ParseNumber(text, bytes == 8 ? ~0ULL : 0xFFFFFFFFULL, &number)) {
                return false;
            }
            for (size_t i = 0; i < bytes; ++i) {
                data->push_back(static_cast<char>((number >> (8 * i)) & 0xFF));
            }
            if (type == REG_DWORD_BIG_ENDIAN) {
                *data = std::string(data->rbegin(), data->rend());
            }
            return true;
        }
        default: {
            if (text.size() % 2 != 0) {
                return false;
            }
            for (size_t i = 0; i < text.size(); i += 2) {
                unsigned int byte = 0;
                const auto result = std::from_chars(text.data() + i, text.data() + i + 2, byte, 16);
                if (result.ec != std::errc() || result.ptr != text.data() + i + 2) {
                    return false;
                }
                data->push_back(static_cast<char>(byte));
            }
            return true;
        }
    }
}

int Query(const CommandLine& command, Console& console) {
    KeyName key;
    if (!ParseKeyName(command.arguments[0], &key)) {
        return InvalidKey(console, Operation::Query);
    }
    if (command.Has("v") && command.Has("ve")) {
        return InvalidSyntax(console, "QUERY");
    }
    const std::string separator = command.Get("se").value_or("\\0");
    OpenKey opened;
    LONG status = RegOpenKeyExA(key.root, key.subkey.c_str(), 0, KEY_READ, opened.out());
    if (status != ERROR_SUCCESS) {
        return Fail(console, status);
    }
    std::ostringstream out;
    if (command.Has("v") || command.Has("ve")) {
        const std::string name = command.Get("v").value_or("");
        if (command.Has("s")) {
            int matches = 0;
            status = Walk(opened.get(), key.display, [&](HKEY found, const std::string& display) {
                ValueData value;
                const LONG read = ReadValue(found, name, &value);
                if (read == ERROR_FILE_NOT_FOUND) {
                    return ERROR_SUCCESS;
                }
                if (read == ERROR_SUCCESS) {
                    ++matches;
                    out << "\n" << display << "\n" << ValueLine(value, separator);
                }
                return read;
            });
            if (status != ERROR_SUCCESS) {
                return Fail(console, status);
            }
            out << "\nEnd of search: " << matches << " match(es) found.\n";
            console.out << out.str();
            return matches > 0 ? 0 : 1;
        }
        ValueData value;
        status = ReadValue(opened.get(), name, &value);
        std::string line;
        if (status == ERROR_FILE_NOT_FOUND && name.empty()) {
            line = std::string("    ") + kDefaultName + "    REG_SZ    (value not set)\n";
        } else if (status != ERROR_SUCCESS) {
            return Fail(console, status);
        } else {
            line = ValueLine(value, separator);
        }
        console.out << "\n" << key.display << "\n" << line << "\n";
        return 0;
    }
    if (command.Has("s")) {
        out << "\n";
        status = Walk(opened.get(), key.display, [&](HKEY found, const std::string& display) {
            std::vector<ValueData> values;
            const LONG read = ReadValues(found, &values);
            out << display << "\n";
            for (const ValueData& value : values) {
                out << ValueLine(value, separator);
            }
            out << "\n";
            return read;
        });
    } else {
        std::vector<ValueData> values;
        std::vector<std::string> subkeys;
        status = ReadValues(opened.get(), &values);
        if (status == ERROR_SUCCESS) {
            status = ReadSubkeys(opened.get(), &subkeys);
        }
        out << "\n";
        if (!values.empty() || subkeys.empty()) {
            out << key.display << "\n";
            for (const ValueData& value : values) {
                out << ValueLine(value, separator);
            }
            out << "\n";
        }
        for (const std::string& subkey : subkeys) {
            out << key.display << "\\" << subkey << "\n";
        }
    }
    if (status != ERROR_SUCCESS) {
        return Fail(console, status);
    }
    console.out << out.str();
    return 0;
}

int Add(const CommandLine& command, Console& console) {
    KeyName key;
    if (!ParseKeyName(command.arguments[0], &key)) {
        return InvalidKey(console, Operation::Add);
    }
    if (command.Has("v") && command.Has("ve")) {
        return InvalidSyntax(console, "ADD");
    }
    const bool sets_value =
        command.Has("v") || command.Has("ve") || command.Has("t") || command.Has("d");
    const std::string name = command.Get("v").value_or("");
    DWORD type = REG_SZ;
    if (command.Has("t") && !TypeFromName(*command.Get("t"), &type)) {
        return InvalidSyntax(console, "ADD");
    }
    const std::string separator = command.Get("s").value_or("\\0");
    if (command.Has("s") && (type != REG_MULTI_SZ || separator.size() != 1)) {
        return InvalidSyntax(console, "ADD");
    }
    std::string data;
    if (sets_value && !EncodeData(type, command.Get("d").value_or(""), separator, &data)) {
        return InvalidSyntax(console, "ADD");
    }
    if (sets_value && !command.Has("f")) {
        OpenKey existing;
        if (RegOpenKeyExA(key.root, key.subkey.c_str(), 0, KEY_QUERY_VALUE, existing.out()) ==
                ERROR_SUCCESS &&
            RegQueryValueExA(existing.get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) ==
                ERROR_SUCCESS &&
            !Confirm(console, "Value " + (name.empty() ? std::string(kDefaultName) : name) +
                                  " exists, overwrite(Yes/No)?")) {
            return Canceled(console);
        }
    }
    OpenKey created;
    LONG status = RegCreateKeyExA(key.root, key.subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, created.out(), nullptr);
    if (status == ERROR_SUCCESS && sets_value) {
        status = RegSetValueExA(created.get(), name.c_str(), 0, type,
                                reinterpret_cast<const BYTE*>(data.data()),
                                static_cast<DWORD>(data.size()));
    }
    if (status != ERROR_SUCCESS) {
        return Fail(console, status);
    }
    return Succeeded(console);
}

int Delete(const CommandLine& command, Console& console) {
    KeyName key;
    if (!ParseKeyName(command.arguments[0], &key)) {
        return InvalidKey(console, Operation::Delete);
    }
    const int choices =
        (command.Has("v") ? 1 : 0) + (command.Has("ve") ? 1 : 0) + (command.Has("va") ? 1 : 0);
    if (choices > 1) {
        return InvalidSyntax(console, "DELETE");
    }
    if (choices == 0 && key.subkey.empty()) {
        return InvalidKey(console, Operation::Delete);
    }
    const bool force = command.Has("f");
    OpenKey opened;
    LONG status = RegOpenKeyExA(key.root, key.subkey.c_str(), 0, KEY_ALL_ACCESS, opened.out());
    if (status != ERROR_SUCCESS) {
        return Fail(console, status);
    }
    if (command.Has("v") || command.Has("ve")) {
        const std::string name = command.Get("v").value_or("");
        status = RegQueryValueExA(opened.get(), name.c_str(), nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) {
            return Fail(console, status);
        }
        if (!force && !Confirm(console, "Delete the registry value " +
                                            (name.empty() ? std::string(kDefaultName) : name) +
                                            " (Yes/No)?")) {
            return Canceled(console);
        }
        status = RegDeleteValueA(opened.get(), name.c_str());
    } else if (command.Has("va")) {
        if (!force && !Confirm(console, "Delete all values under the registry key " + key.display +
                                            " (Yes/No)?")) {
            return Canceled(console);
        }
        std::vector<ValueData> values;
        status = ReadValues(opened.get(), &values);
        for (size_t i = 0; status == ERROR_SUCCESS && i < values.size(); ++i) {
            status = RegDeleteValueA(opened.get(), values[i].name.c_str());
            if (status == ERROR_FILE_NOT_FOUND) {
                status = ERROR_SUCCESS;  // deleted meanwhile
            }
        }
    } else {
        if (!force && !Confirm(console, "Permanently delete the registry key " + key.display +
                                            " (Yes/No)?")) {
            return Canceled(console);
        }
        status = RegDeleteTreeA(key.root, key.subkey.c_str());
    }
    if (status != ERROR_SUCCESS) {
        return Fail(console, status);
    }
    return Succeeded(console);
}

int Export(const CommandLine& command, Console& console) {
    KeyName key;
    if (!ParseKeyName(command.arguments[0], &key)) {
        return InvalidKey(console, Operation::Export);
    }
    const std::string& file = command.arguments[1];
    OpenKey opened;
    LONG status = RegOpenKeyExA(key.root, key.subkey.c_str(), 0, KEY_READ, opened.out());
    std::string text;
    if (status == ERROR_SUCCESS) {
        status = tevo::win::ExportRegistryKey(opened.get(), key.display, &text);
    }
    if (status != ERROR_SUCCESS) {
        return Fail(console, status);
    }
    std::error_code error;
    if (!command.Has("y") && std::filesystem::exists(file, error) &&
        !Confirm(console, "File " + file + " already exists. Overwrite (Yes/No)?")) {
        return Canceled(console);
    }
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        console.err << kFileError << "\n";
        return 1;
    }
    return Succeeded(console);
}

// Reads the open file to import, if it is a regular file of at most kMaxImportBytes: a
// device or a pipe may never end, and a larger file is no registry text anyone meant.
// Says why it refuses in `problem`.
bool ReadImportFile(int fd, const std::string& file, std::string* text, std::string* problem) {
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        *problem = file + ": not a regular file";
        return false;
    }
    const std::string too_large = file + ": larger than the 64 MiB (" +
                                  std::to_string(kMaxImportBytes) + " bytes) that reg imports";
    if (static_cast<std::uintmax_t>(status.st_size) > kMaxImportBytes) {
        *problem = too_large;
        return false;
    }
    text->reserve(static_cast<size_t>(status.st_size));
    char buffer[65536];
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n == 0;
        }
        text->append(buffer, static_cast<size_t>(n));
        if (text->size() > kMaxImportBytes) {  // grown since fstat
            *problem = too_large;
            return false;
        }
    }
}

// Opens and reads the file to import; false when it cannot, with the reason in `problem`
// when there is more to say than that.
bool ReadImportFile(const std::string& file, std::string* text, std::string* problem) {
    text->clear();
    problem->clear();
    // O_NONBLOCK keeps the open of a pipe from waiting for a writer; regular files
    // ignore it.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return false;
    }
    const bool read = ReadImportFile(fd, file, text, problem);
    ::close(fd);
    return read;
}

int Import(const CommandLine& command, Console& console) {
    const std::string& file = command.arguments[0];
    std::string text;
    std::string problem;
    if (!ReadImportFile(file, &text, &problem)) {
        console.err << kFileError << "\n";
        if (!problem.empty()) {
            console.err << problem << "\n";
        }
        return 1;
    }
    const LONG status = tevo::win::ImportRegistryText(text, file, &problem);
    if (status != ERROR_SUCCESS) {
        console.err << "ERROR: Error accessing the registry.\n";
        if (!problem.empty()) {
            console.err << problem << "\n";
        }
        return 1;
    }
    return Succeeded(console);
}

}  // namespace

int InvalidSyntax(Console& console, const char* operation_name) {
    console.err << "ERROR: Invalid syntax.\nType \"REG " << operation_name
                << (operation_name[0] != '\0' ? " " : "") << "/?\" for usage.\n";
    return 1;
}

int RunCommand(const CommandLine& command, Console& console) {
    switch (command.operation) {
        case Operation::Query:
            return Query(command, console);
        case Operation::Add:
            return Add(command, console);
        case Operation::Delete:
            return Delete(command, console);
        case Operation::Export:
            return Export(command, console);
        case Operation::Import:
            return Import(command, console);
    }
    return 1;
}

}  // namespace tevo::regtool
