#include "output/terminal.h"

#include <unistd.h>

namespace tevo::cli {

bool StandardErrorIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

}  // namespace tevo::cli
