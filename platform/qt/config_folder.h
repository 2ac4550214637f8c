// The folder the desktop menu starts Tesqua in, $XDG_CONFIG_HOME/tesqua/ (usually
// ~/.config/tesqua/). The program itself keeps code.ini in its current folder, wherever that is.
#pragma once

#include <filesystem>

namespace tesqua {

// $XDG_CONFIG_HOME/tesqua, or home/.config/tesqua where XDG_CONFIG_HOME is unset, empty or
// relative (such a value is to be ignored).
std::filesystem::path ConfigFolder(const std::filesystem::path& home);

// Makes the folder if missing, moves into it a code.ini that an earlier version left in the home
// folder (never replacing one there), and makes it the current folder. Where any of it fails,
// the home copy stays where it is, the program works in the home folder this time, as earlier
// versions did, so that the user's entries are used, and standard error says why.
void EnterConfigFolder();

}  // namespace tesqua
