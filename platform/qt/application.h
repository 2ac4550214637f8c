// What the program sets up around its window.
#pragma once

#include <QIcon>

namespace tesqua {

// Clipboard notices reach a program on Wayland only while it has the focus; through X11 (or
// XWayland) they always do. Call before the application object exists.
void PreferX11();

// The names the desktop knows the program by, and its icon.
void ConfigureApplication();

QIcon ApplicationIcon();

}  // namespace tesqua
