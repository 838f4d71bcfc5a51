// The fault matrix's summary: each test states in one phrase what the session did when its
// fault struck, and at the end of the run one line per test says
//   fault: <test>: PASSED|FAILED|SKIPPED: <what happened>
// so that the CI log shows the whole matrix at a glance. Tests that record no outcome
// appear only when they fail.
#pragma once

#include <string>

namespace tevo::reliability {

// Records what the running test's fault led to (the last call wins).
void RecordOutcome(const std::string& outcome);

}  // namespace tevo::reliability
