// Whether a standard stream is a terminal (the progress line is only for people watching).
#pragma once

namespace tevo::cli {

bool StandardErrorIsTerminal();

}  // namespace tevo::cli
