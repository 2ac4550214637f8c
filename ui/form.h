// The events of the main window fmTest: its load event and the three commands.
#pragma once

#include "platform/platform.h"

namespace tesqua {

// Start-up, once, before the window is first shown: library, clipboard, placement, watch.
// A step that fails is abandoned and the next one runs.
void Form_Load(Platform& platform);

// Keeps the window above all others exactly while Check1 is checked.
void Check1_Click(Platform& platform);
// Shows the library's editing rules, then opens code.ini in the system's text editor; where
// start-up could not write code.ini, says so and where to run the program instead.
void Label1_Click(Platform& platform);
// Opens the maker's web page.
void Label3_Click(Platform& platform);

}  // namespace tesqua
