#include "instrument/trace_math.h"

#include <gtest/gtest.h>

#include <vector>

#include "scpi/error_codes.h"

using namespace tevo::emulator;
namespace scpi = tevo::emulator::scpi;

namespace {

const std::vector<std::vector<float>> kTraces = {
    {1, 2, 3}, {10, 20, 30}, {0, 0, 0}, {5, 5, 5}, {-1, -1, -1}, {2, 2, 2},
};

std::vector<float> Evaluate(std::string_view expression) {
    return EvaluateTraceExpression(
        expression, [](int trace) -> const std::vector<float>& { return kTraces.at(trace - 1); },
        3);
}

int ErrorOf(std::string_view expression) {
    try {
        Evaluate(expression);
    } catch (const scpi::Error& error) {
        return error.code();
    }
    return 0;
}

}  // namespace

TEST(TraceMath, SumsDifferencesNumbersAndParentheses) {
    EXPECT_EQ(Evaluate("(TRACE1 + TRACE2)"), (std::vector<float>{11, 22, 33}));
    EXPECT_EQ(Evaluate("(trace2 - TRACE1)"), (std::vector<float>{9, 18, 27}));
    EXPECT_EQ(Evaluate("(TRACE2 - (TRACE1 + TRAC4)) + 1.5"), (std::vector<float>{5.5, 14.5, 23.5}));
    EXPECT_EQ(Evaluate("(-TRACE5)"), (std::vector<float>{1, 1, 1}));
}

TEST(TraceMath, MalformedExpressionsAndUnknownTraces) {
    EXPECT_EQ(ErrorOf("(TRACE1 +)"), scpi::kInvalidExpression);
    EXPECT_EQ(ErrorOf("(TRACE1 TRACE2)"), scpi::kInvalidExpression);
    EXPECT_EQ(ErrorOf("(TRACE1"), scpi::kInvalidExpression);
    EXPECT_EQ(ErrorOf("(TRACE7 + TRACE1)"), scpi::kExpressionError);
    EXPECT_EQ(ErrorOf("(FOO)"), scpi::kExpressionError);
    EXPECT_EQ(TraceNumberFromName("TRACE6"), 6);
    EXPECT_EQ(TraceNumberFromName("trac2"), 2);
    EXPECT_EQ(TraceNumberFromName("TRACE0"), 0);
    EXPECT_EQ(TraceNumberFromName("TRACE12"), 0);
    EXPECT_EQ(TraceNumberFromName("TRA1"), 0);
}
