#include "server/command_line.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

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
    EXPECT_FALSE(line.options.vxi11_port.has_value());
    EXPECT_FALSE(line.options.hislip_port.has_value());
    line = ParseCommandLine({"--vxi11-port", "0", "--hislip-port=4880"});
    EXPECT_EQ(line.options.vxi11_port, 0);
    EXPECT_EQ(line.options.hislip_port, 4880);
    EXPECT_TRUE(ParseCommandLine({"--help"}).help);
    EXPECT_NE(tevo::emulator::Usage().find("--port N"), std::string::npos);
}

TEST(CommandLine, BadArgumentsAreRejected) {
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--port"},
             {"--port", "70000"},
             {"--port", "12x"},
             {"--port=-1"},
             {"--vxi11-port"},
             {"--hislip-port", "65536"},
             {"--model", "KLZ"},
             {"--time-scale", "-1"},
             {"--time-scale", "fast"},
             {"--verbose"},
             {"5025"},
         }) {
        EXPECT_THROW(ParseCommandLine(bad), std::invalid_argument) << bad[0];
    }
}

TEST(CommandLine, IdentityFieldsMustFitTheIdentityReply) {
    const CommandLine line =
        ParseCommandLine({"--serial", "SN 77-A/1", "--firmware", std::string(64, 'v')});
    EXPECT_EQ(line.options.serial, "SN 77-A/1");
    EXPECT_EQ(line.options.firmware, std::string(64, 'v'));
    for (const std::string option : {"--serial", "--firmware"}) {
        for (const std::string& bad : {std::string("1,2"), std::string("1;2"), std::string("1\n2"),
                                       std::string("1\r"), std::string(""), std::string(65, 'v'),
                                       std::string("\xC3\xA9"), std::string("\x7F")}) {
            try {
                ParseCommandLine({option, bad});
                ADD_FAILURE() << option << " accepted \"" << bad << "\"";
            } catch (const std::invalid_argument& error) {
                // The message names the option and what is wrong.
                EXPECT_EQ(std::string(error.what()).rfind(option + " needs 1 to 64 printable", 0),
                          0u)
                    << error.what();
            }
        }
    }
    try {
        ParseCommandLine({"--serial", "12,34"});
        ADD_FAILURE();
    } catch (const std::invalid_argument& error) {
        EXPECT_NE(std::string(error.what()).find("contains a comma"), std::string::npos);
    }
}

TEST(CommandLine, IdleTimeoutAndLogLimit) {
    CommandLine line = ParseCommandLine({});
    EXPECT_EQ(line.options.idle_timeout, std::chrono::seconds(60));
    EXPECT_EQ(line.options.log_limit_bytes, 16u << 20);

    line = ParseCommandLine({"--idle-timeout", "0.25", "--log-limit=4096"});
    EXPECT_EQ(line.options.idle_timeout, std::chrono::milliseconds(250));
    EXPECT_EQ(line.options.log_limit_bytes, 4096u);
    line = ParseCommandLine({"--idle-timeout=0", "--log-limit", "3M"});
    EXPECT_EQ(line.options.idle_timeout.count(), 0);
    EXPECT_EQ(line.options.log_limit_bytes, 3u << 20);
    EXPECT_EQ(ParseCommandLine({"--log-limit", "8k"}).options.log_limit_bytes, 8192u);
    EXPECT_EQ(ParseCommandLine({"--log-limit", "2G"}).options.log_limit_bytes, uint64_t{2} << 30);

    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--idle-timeout", "-1"},
             {"--idle-timeout", "soon"},
             {"--idle-timeout", "nan"},
             {"--idle-timeout", "1e9"},
             {"--idle-timeout"},
             {"--log-limit", "4095"},
             {"--log-limit", "0"},
             {"--log-limit", "3K"},
             {"--log-limit", "-5M"},
             {"--log-limit", "10MB"},
             {"--log-limit", "99999999999999999999"},
             {"--log-limit", "17179869184G"},
         }) {
        EXPECT_THROW(ParseCommandLine(bad), std::invalid_argument) << bad[0] << " " << bad.back();
    }
}
