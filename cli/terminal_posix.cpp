#include <unistd.h>

#include "cli/terminal.h"

namespace tesqua {

bool StderrIsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}

// Terminals here take UTF-8 as it is.
struct ConsoleText::Streams {};
ConsoleText::ConsoleText() = default;
ConsoleText::~ConsoleText() = default;

}  // namespace tesqua
