// The demo session: loads the driver module, creates the driver and walks through a
// session, printing each step.
#pragma once

#include <ostream>
#include <string>

namespace tevo::demo {

// Runs the session on `resource` with `options`; 0 on success, 1 after printing the
// driver's error.
int RunDemoSession(const std::string& resource, const std::string& options, std::ostream& out,
                   std::ostream& err);

}  // namespace tevo::demo
