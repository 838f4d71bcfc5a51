#include "measure/measurement.h"

#include <gtest/gtest.h>

namespace tevo::cli {
namespace {

TEST(NoiseLevel, IsTheTracesMedianPlusTheExcursion) {
    // A few strong points do not move the median of a noisy trace.
    const std::vector<double> trace = {-91, -89, -20, -90, -30, -92, -88};
    EXPECT_EQ(NoiseLevel(trace, 15), -89 + 15);
    EXPECT_EQ(NoiseLevel({-50}, 0), -50);
    EXPECT_LT(NoiseLevel({}, 15), -1e300);  // no trace: every peak counts
}

}  // namespace
}  // namespace tevo::cli
