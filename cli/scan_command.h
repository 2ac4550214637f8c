// tesqua-scan: the window's verdict for a file or standard input, on the command line.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tesqua {

enum ExitStatus : int {
  kExitNoneFound = 0,
  kExitFound = 1,
  kExitError = 2,
  kExitNoVerdict = 3,
};

// Runs the scanner on its arguments (without the program name). stdin_bytes reads standard
// input when it is the text to scan.
int RunScanCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                   std::ostream& err);

}  // namespace tesqua
