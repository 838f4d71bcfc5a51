#include "fault_summary.h"

#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

namespace tevo::reliability {

namespace {

constexpr const char* kOutcomeProperty = "outcome";

class FaultSummaryPrinter : public ::testing::EmptyTestEventListener {
  public:
    void OnTestEnd(const ::testing::TestInfo& info) override {
        const ::testing::TestResult* result = info.result();
        std::string verdict = "PASSED";
        if (result->Skipped()) {
            verdict = "SKIPPED";
        } else if (result->Failed()) {
            verdict = "FAILED";
        }
        std::string outcome;
        for (int i = 0; i < result->test_property_count(); ++i) {
            const ::testing::TestProperty& property = result->GetTestProperty(i);
            if (std::string(property.key()) == kOutcomeProperty) {
                outcome = property.value();
            }
        }
        // Tests of the matrix's own tools record no outcome and stay out of it unless failed.
        if (outcome.empty() && !result->Failed()) {
            return;
        }
        if (outcome.empty()) {
            outcome = "no outcome recorded";
        }
        lines_.push_back(std::string("fault: ") + info.test_suite_name() + "." + info.name() +
                         ": " + verdict + ": " + outcome);
    }

    void OnTestProgramEnd(const ::testing::UnitTest& /*unit_test*/) override {
        for (const std::string& line : lines_) {
            std::cout << line << "\n";
        }
        std::cout.flush();
    }

  private:
    std::vector<std::string> lines_;
};

// Registered before main() runs; the listener list owns it.
[[maybe_unused]] const bool kRegistered = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new FaultSummaryPrinter);
    return true;
}();

}  // namespace

void RecordOutcome(const std::string& outcome) {
    ::testing::Test::RecordProperty(kOutcomeProperty, outcome);
}

}  // namespace tevo::reliability
