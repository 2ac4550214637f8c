#include <unistd.h>

#include "cli/terminal.h"

namespace tesqua {

bool StderrIsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}

}  // namespace tesqua
