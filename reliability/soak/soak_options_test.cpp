// tevo-soak's command line: defaults, each setting, and the refusals.
#include "soak_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tevo::reliability::soak {
namespace {

TEST(SoakCommandLine, DefaultsAndSettings) {
    ParsedCommandLine parsed = ParseSoakCommandLine({});
    ASSERT_TRUE(parsed.options);
    EXPECT_EQ(parsed.options->sessions, 2);
    EXPECT_EQ(parsed.options->threads, 2);
    EXPECT_EQ(parsed.options->seconds, 60.0);
    EXPECT_EQ(parsed.options->Warmup(), 15.0) << "a quarter of the run";

    parsed = ParseSoakCommandLine({"--sessions", "3", "--threads", "5", "--seconds", "20",
                                   "--warmup", "4", "--interval", "0.5", "--rss-tolerance-mib", "8",
                                   "--fd-tolerance", "0"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    EXPECT_EQ(parsed.options->sessions, 3);
    EXPECT_EQ(parsed.options->threads, 5);
    EXPECT_EQ(parsed.options->seconds, 20.0);
    EXPECT_EQ(parsed.options->Warmup(), 4.0);
    EXPECT_EQ(parsed.options->interval_seconds, 0.5);
    EXPECT_EQ(parsed.options->rss_tolerance_mib, 8.0);
    EXPECT_EQ(parsed.options->descriptor_tolerance, 0);

    parsed = ParseSoakCommandLine({"--seconds", "5", "--help"});
    EXPECT_TRUE(parsed.help);
    EXPECT_FALSE(parsed.options);
}

TEST(SoakCommandLine, BadArgumentsAreRefusedWithTheReason) {
    const struct {
        std::vector<std::string> args;
        const char* reason;
    } cases[] = {
        {{"--frobnicate"}, "unknown argument '--frobnicate'"},
        {{"--sessions"}, "--sessions needs a value"},
        {{"--sessions", "0"}, "--sessions must be an integer from 1 to 64, not '0'"},
        {{"--threads", "2.5"}, "--threads must be an integer"},
        {{"--seconds", "ten"}, "--seconds must be a number from 1 to 86400, not 'ten'"},
        {{"--seconds", "10x"}, "--seconds must be a number"},
        {{"--seconds", "10", "--warmup", "10"}, "the warm-up must end before the run does"},
    };
    for (const auto& c : cases) {
        const ParsedCommandLine parsed = ParseSoakCommandLine(c.args);
        EXPECT_FALSE(parsed.options) << c.args[0];
        EXPECT_NE(parsed.error.find(c.reason), std::string::npos) << parsed.error;
    }
}

}  // namespace
}  // namespace tevo::reliability::soak
