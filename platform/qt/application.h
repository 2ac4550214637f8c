// What the program sets up around its window.
#pragma once

#include <QIcon>

namespace tesqua {

// Clipboard notices reach a program on Wayland only while it has the focus; through X11 (or
// XWayland) they always do. Call before the application object exists.
void PreferX11();

// Whether a window can be shown: through X11 only with a DISPLAY. Where not, says so on
// standard error in one line. Call after PreferX11.
bool CanShowWindows();

// From now on, should Qt find no display it can use after all (one that does not answer), the
// same line ends the program with exit status 1 instead of Qt's abort.
void TrapDisplayFailure();

// The names the desktop knows the program by, and its icon.
void ConfigureApplication();

QIcon ApplicationIcon();

}  // namespace tesqua
