// reg: the registry from the command line.
#include <iostream>
#include <string>
#include <vector>

#include "reg_commands.h"
#include "reg_help.h"

int main(int argc, char** argv) {
    using namespace tevo::regtool;
    const std::vector<std::string> args(argv + 1, argv + argc);
    Console console{std::cout, std::cerr, std::cin};
    CommandLine command;
    std::optional<Operation> operation;
    if (!ParseCommandLine(args, &command, &operation)) {
        return InvalidSyntax(console, operation ? OperationName(*operation) : "");
    }
    if (command.help) {
        std::cout << (operation ? OperationHelp(*operation) : GeneralHelp());
        return 0;
    }
    return RunCommand(command, console);
}
