// The program's command line, answered before Qt looks for a display so that it works anywhere.
#pragma once

#include <optional>

namespace tesqua {

// Prints the help or the version, or says what is wrong with the arguments; with
// --config-folder, moves into the folder where the menu entry keeps code.ini. Returns the exit
// status when the program has nothing more to do, nothing when the window is to be shown.
std::optional<int> FollowCommandLine(int argc, const char* const* argv);

}  // namespace tesqua
