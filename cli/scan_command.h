// tesqua-scan: the window's verdict for a file or standard input, and the same search over
// many files and folders, on the command line.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace tesqua {

enum ExitStatus : int {
  kExitNoneFound = 0,
  kExitFound = 1,
  kExitError = 2,
  kExitNoVerdict = 3,
};

extern const std::string_view kTesquaVersion;

// Runs the scanner on its arguments (without the program name). in is standard input, read
// when it is the text to scan. show_progress: err is a terminal that a person watches.
// input_is_terminal: in is typed at a terminal, and read only when no path is named.
int RunScanCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                   std::ostream& err, bool show_progress = false, bool input_is_terminal = false);

}  // namespace tesqua
