#include "pagemount_command_line.h"

#include <algorithm>

namespace tevo::pagemount {
namespace {

bool EqualsIgnoringAsciiCase(const std::string& text, const std::string& lower_word) {
    return std::equal(
        text.begin(), text.end(), lower_word.begin(), lower_word.end(), [](char a, char b) {
            const char folded = a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a;
            return folded == b;
        });
}

}  // namespace

Command ParseCommandLine(const std::vector<std::string>& arguments) {
    Command command;
    if (arguments.empty()) {
        return command;
    }
    const std::string& verb = arguments.front();
    const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
    if (EqualsIgnoringAsciiCase(verb, "install") && rest.size() == 4) {
        command.verb = Command::Verb::kInstall;
        command.arguments = rest;
    } else if (verb == "remove" && rest.size() == 2) {
        command.verb = Command::Verb::kRemove;
        command.arguments = rest;
    }
    return command;
}

}  // namespace tevo::pagemount
