// tevo-midl: the IDL compiler of the build. See midl_driver.h for the command line.
#include <iostream>
#include <string>
#include <vector>

#include "midl_driver.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    return tevo::idl::RunMidl(args, std::cerr);
}
