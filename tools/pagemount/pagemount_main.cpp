// pagemount install FOLDER HELP.CHM HELP.CHI ID | remove FOLDER ID
// Installs a compiled help file in the HTML Help collection system, or removes it. Quill's
// own messages come first on standard output, then one line of the outcome; the exit code
// is 0 on success and -1 on failure.
#include <cstdio>
#include <string>
#include <vector>

#include "pagemount_command_line.h"
#include "tevo/quill.h"

namespace {

constexpr const char* kUsage =
    "Invalid parameters.  Correct usage is:\n"
    "  Pagemount install foldername help.chm help.chi uniqueid\n"
    "  Pagemount remove foldername uniqueid\n";

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const tevo::pagemount::Command command = tevo::pagemount::ParseCommandLine(arguments);
    const std::vector<std::string>& a = command.arguments;
    switch (command.verb) {
        case tevo::pagemount::Command::Verb::kInstall:
            if (QuillInstall(a[0].c_str(), a[1].c_str(), a[2].c_str(), a[3].c_str()) != QUILL_OK) {
                std::fputs("Error installing help file.\n", stdout);
                return -1;
            }
            std::fputs("Help file installed\n", stdout);
            return 0;
        case tevo::pagemount::Command::Verb::kRemove:
            if (QuillRemove(a[0].c_str(), a[1].c_str()) != QUILL_OK) {
                std::fputs("Error removing help file.\n", stdout);
                return -1;
            }
            std::fputs("Help file removed\n", stdout);
            return 0;
        case tevo::pagemount::Command::Verb::kUsage:
            break;
    }
    std::fputs(kUsage, stdout);
    return 0;
}
