#include "server/command_line.h"

#include <gtest/gtest.h>

#include <stdexcept>

using tevo::emulator::CommandLine;
using tevo::emulator::ParseCommandLine;

TEST(CommandLine, DefaultsAndEveryOption) {
    CommandLine line = ParseCommandLine({});
    EXPECT_EQ(line.port, 5025);
    EXPECT_EQ(line.options.model, "KLC");
    EXPECT_DOUBLE_EQ(line.options.time_scale, 1.0);
    EXPECT_FALSE(line.help);

    line = ParseCommandLine({"--port", "0", "--model", "KLBR", "--serial", "S1", "--firmware=2.0",
                             "--time-scale", "0.25", "--log", "/tmp/x.log", "--bind=0.0.0.0"});
    EXPECT_EQ(line.port, 0);
    EXPECT_EQ(line.options.model, "KLBR");
    EXPECT_EQ(line.options.serial, "S1");
    EXPECT_EQ(line.options.firmware, "2.0");
    EXPECT_DOUBLE_EQ(line.options.time_scale, 0.25);
    EXPECT_EQ(line.options.log_path, "/tmp/x.log");
    EXPECT_EQ(line.options.bind_address, "0.0.0.0");
    EXPECT_TRUE(ParseCommandLine({"--help"}).help);
    EXPECT_NE(tevo::emulator::Usage().find("--port N"), std::string::npos);
}

TEST(CommandLine, BadArgumentsAreRejected) {
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--port"},
             {"--port", "70000"},
             {"--port", "12x"},
             {"--port=-1"},
             {"--model", "KLZ"},
             {"--time-scale", "-1"},
             {"--time-scale", "fast"},
             {"--verbose"},
             {"5025"},
         }) {
        EXPECT_THROW(ParseCommandLine(bad), std::invalid_argument) << bad[0];
    }
}
