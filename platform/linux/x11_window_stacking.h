#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The titles of the shown top-level windows of the process `pid` on this machine, the highest
// in the window manager's stacking order first (the window the user worked in last); without a
// window manager, in the X server's own stacking order. Opens a connection of its own to the X
// display that DISPLAY names, so any thread may call it; X errors of windows that vanish
// meanwhile go to the process's error handler, which must ignore them (GDK's ignores errors of
// connections it didn't open). Empty when there is no X display or no such window.
std::vector<std::string> x11WindowTitlesTopFirst(int32_t pid);
