#include "dispatch/dispatch_path.h"

#include <gtest/gtest.h>

#include "session/errors.h"

namespace tevo::cli {
namespace {

TEST(DispatchPath, SplitsNamesAndArguments) {
    const std::vector<PathStep> steps = ParseDispatchPath("Traces.Item(Trace2).Type");
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[0].name, "Traces");
    EXPECT_TRUE(steps[0].arguments.empty());
    EXPECT_EQ(steps[1].name, "Item");
    EXPECT_EQ(steps[1].arguments, std::vector<std::string>{"Trace2"});
    EXPECT_EQ(steps[2].name, "Type");

    const std::vector<PathStep> quoted = ParseDispatchPath("A.Item(\"Trace 2\", 3 ,\"\").B()");
    ASSERT_EQ(quoted.size(), 3u);
    EXPECT_EQ(quoted[1].arguments, (std::vector<std::string>{"Trace 2", "3", ""}));
    EXPECT_TRUE(quoted[2].arguments.empty());
    EXPECT_EQ(ParseDispatchPath("Item(\"a.b(c)\")")[0].arguments,
              std::vector<std::string>{"a.b(c)"});
}

TEST(DispatchPath, RefusesMalformedPaths) {
    for (const char* bad :
         {"", ".", "Frequency.", ".Start", "Frequency..Start", "Item(a", "Item(\"a)", "Item(a,)",
          "Item(,a)", "Fre-quency", "Item(a)b", "Frequency Start"}) {
        EXPECT_THROW(ParseDispatchPath(bad), UsageError) << bad;
    }
}

}  // namespace
}  // namespace tevo::cli
