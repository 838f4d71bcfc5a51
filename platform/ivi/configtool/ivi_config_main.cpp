// ivi-config: lists and edits the IVI configuration store.
#include <string>
#include <vector>

#include "ivi_config.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return tevo::ivi::configtool::Run(args);
}
