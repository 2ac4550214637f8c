#include <io.h>

#include <cstdio>

#include "cli/terminal.h"

namespace tesqua {

bool StderrIsTerminal() {
  return _isatty(_fileno(stderr)) != 0;
}

}  // namespace tesqua
