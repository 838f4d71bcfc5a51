#include "reg_command_line.h"

#include <algorithm>
#include <set>

namespace tevo::regtool {

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 0x20) : c; });
    return text;
}

bool IsSwitch(const std::string& arg) {
    return arg.size() >= 2 && (arg[0] == '/' || arg[0] == '-');
}

struct Grammar {
    size_t positional;
    std::set<std::string> flags;       // switches without a value
    std::set<std::string> with_value;  // switches followed by a value
};

Grammar GrammarOf(Operation operation) {
    switch (operation) {
        case Operation::Query:
            return {1, {"ve", "s", "reg:32", "reg:64"}, {"v", "se"}};
        case Operation::Add:
            return {1, {"ve", "f", "reg:32", "reg:64"}, {"v", "t", "s", "d"}};
        case Operation::Delete:
            return {1, {"ve", "va", "f", "reg:32", "reg:64"}, {"v"}};
        case Operation::Export:
            return {2, {"y", "reg:32", "reg:64"}, {}};
        case Operation::Import:
            return {1, {"reg:32", "reg:64"}, {}};
    }
    return {};
}

}  // namespace

std::optional<std::string> CommandLine::Get(const std::string& name) const {
    auto it = switches.find(name);
    if (it == switches.end()) {
        return std::nullopt;
    }
    return it->second;
}

const char* OperationName(Operation operation) {
    switch (operation) {
        case Operation::Query:
            return "QUERY";
        case Operation::Add:
            return "ADD";
        case Operation::Delete:
            return "DELETE";
        case Operation::Export:
            return "EXPORT";
        case Operation::Import:
            return "IMPORT";
    }
    return "";
}

bool ParseCommandLine(const std::vector<std::string>& args, CommandLine* command,
                      std::optional<Operation>* operation) {
    operation->reset();
    if (args.empty()) {
        return false;
    }
    const std::string verb = Lower(args[0]);
    if (verb == "/?" || verb == "-?") {
        command->help = true;
        return args.size() == 1;
    }
    static const std::map<std::string, Operation> kOperations = {
        {"query", Operation::Query},   {"add", Operation::Add},       {"delete", Operation::Delete},
        {"export", Operation::Export}, {"import", Operation::Import},
    };
    auto found = kOperations.find(verb);
    if (found == kOperations.end()) {
        return false;
    }
    *operation = found->second;
    command->operation = found->second;
    if (args.size() == 2 && (args[1] == "/?" || args[1] == "-?")) {
        command->help = true;
        return true;
    }
    const Grammar grammar = GrammarOf(found->second);
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // The first argument is always the key (or file). An argument that is not one of
        // the operation's switches is a key or file too, so that POSIX paths like
        // /tmp/x.reg can be named.
        const std::string name = IsSwitch(arg) ? Lower(arg.substr(1)) : std::string();
        const bool known = grammar.flags.count(name) != 0 || grammar.with_value.count(name) != 0;
        if (i == 1 || !known) {
            if (command->arguments.size() >= grammar.positional) {
                return false;
            }
            command->arguments.push_back(arg);
            continue;
        }
        if (command->switches.count(name) != 0) {
            return false;
        }
        if (grammar.flags.count(name) != 0) {
            command->switches[name] = "";
        } else {
            if (++i == args.size()) {
                return false;
            }
            command->switches[name] = args[i];
        }
    }
    return command->arguments.size() == grammar.positional;
}

bool ParseKeyName(const std::string& text, KeyName* key) {
    const size_t separator = text.find('\\');
    const std::string root = Lower(text.substr(0, separator));
    if (root == "hklm" || root == "hkey_local_machine") {
        key->root = HKEY_LOCAL_MACHINE;
        key->display = "HKEY_LOCAL_MACHINE";
    } else if (root == "hkcu" || root == "hkey_current_user") {
        key->root = HKEY_CURRENT_USER;
        key->display = "HKEY_CURRENT_USER";
    } else if (root == "hkcr" || root == "hkey_classes_root") {
        key->root = HKEY_CLASSES_ROOT;
        key->display = "HKEY_CLASSES_ROOT";
    } else {
        return false;
    }
    key->subkey = separator == std::string::npos ? std::string() : text.substr(separator + 1);
    while (!key->subkey.empty() && key->subkey.back() == '\\') {
        key->subkey.pop_back();
    }
    if (!key->subkey.empty()) {
        key->display += '\\';
        key->display += key->subkey;
    }
    return true;
}

}  // namespace tevo::regtool
