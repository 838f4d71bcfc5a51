// tevo-demo: a session with the Tevo driver against the built-in analyzer emulator, or
// against the analyzer named by --resource.
#include <iostream>
#include <memory>

#include "demo_options.h"
#include "demo_session.h"
#include "tevo/emulator/emulator.h"

int main(int argc, char** argv) {
    std::string error;
    const auto options =
        tevo::demo::ParseDemoOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::cerr << "tevo-demo: " << error << "\n\n" << tevo::demo::kDemoUsage;
        return 2;
    }
    if (options->help) {
        std::cout << tevo::demo::kDemoUsage;
        return 0;
    }
    std::unique_ptr<tevo::emulator::Emulator> emulator;
    std::string resource = options->resource;
    if (resource.empty() && options->simulate) {
        resource = "GPIB0::20::INSTR";  // any descriptor: a simulated session opens none
    } else if (resource.empty()) {
        tevo::emulator::EmulatorOptions emulated;
        emulated.time_scale = 0;
        emulator = std::make_unique<tevo::emulator::Emulator>(emulated);
        try {
            emulator->Start(0);
        } catch (const std::exception& failure) {
            std::cerr << "tevo-demo: cannot start the built-in emulator: " << failure.what()
                      << "\n";
            return 1;
        }
        resource = emulator->ResourceName();
        std::cout << "Built-in KL-series emulator listening on " << resource << "\n";
    }
    return tevo::demo::RunDemoSession(resource, options->options, std::cout, std::cerr);
}
