// The soak's samples of this process and the judgement of their flatness.
#include "resource_samples.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace tevo::reliability::soak {
namespace {

constexpr size_t kMiB = 1024 * 1024;

std::vector<ResourceSample> Series(const std::vector<size_t>& resident_mib,
                                   const std::vector<size_t>& descriptors) {
    std::vector<ResourceSample> samples;
    for (size_t i = 0; i < resident_mib.size(); ++i) {
        samples.push_back(
            ResourceSample{static_cast<double>(i), resident_mib[i] * kMiB, descriptors[i]});
    }
    return samples;
}

FlatnessLimits Limits(double warmup) {
    return FlatnessLimits{warmup, 2 * kMiB, 1};
}

TEST(SoakFlatness, WarmUpGrowthAndSpikesPassSteadyGrowthFails) {
    // Growth during the warm-up (the first two samples) and one spike later are fine.
    auto verdict = JudgeFlatness(
        Series({10, 30, 40, 41, 60, 40, 41, 40, 42, 41}, {5, 9, 12, 12, 20, 12, 13, 12, 12, 13}),
        Limits(2));
    EXPECT_TRUE(verdict.flat) << (verdict.problems.empty() ? "" : verdict.problems[0]);

    verdict = JudgeFlatness(Series({40, 41, 42, 43, 44, 45, 46, 47}, {9, 9, 9, 9, 9, 9, 9, 9}),
                            Limits(0));
    EXPECT_FALSE(verdict.flat);
    ASSERT_EQ(verdict.problems.size(), 1u);
    EXPECT_EQ(verdict.problems[0],
              "resident memory grew from 41.0 MiB to 46.0 MiB (tolerance 2.0 MiB)");

    verdict = JudgeFlatness(
        Series({40, 40, 40, 40, 40, 40, 40, 40}, {9, 9, 10, 10, 11, 11, 12, 12}), Limits(0));
    EXPECT_FALSE(verdict.flat);
    ASSERT_EQ(verdict.problems.size(), 1u);
    EXPECT_EQ(verdict.problems[0], "open descriptors grew from 9 to 12 (tolerance 1)");
}

TEST(SoakFlatness, TooFewSamplesAfterTheWarmUpAreNoVerdictOfFlatness) {
    const auto verdict = JudgeFlatness(Series({1, 1, 1, 1, 1}, {1, 1, 1, 1, 1}), Limits(2));
    EXPECT_FALSE(verdict.flat);
    ASSERT_EQ(verdict.problems.size(), 1u);
    EXPECT_NE(verdict.problems[0].find("only 3 samples"), std::string::npos);
}

TEST(SoakSamples, CountTheDescriptorsThisProcessOpens) {
    const ResourceSample before = SampleThisProcess(0);
    EXPECT_GT(before.resident_bytes, 0u);
    const int opened = open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(opened, 0);
    const ResourceSample with = SampleThisProcess(1);
    close(opened);
    EXPECT_EQ(with.descriptors, before.descriptors + 1);
    EXPECT_EQ(with.seconds, 1.0);
}

}  // namespace
}  // namespace tevo::reliability::soak
