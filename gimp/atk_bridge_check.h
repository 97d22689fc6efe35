#pragma once

#include <string_view>

// Whether GTK 2 loads the ATK bridge, the module that puts a program on the accessibility bus,
// given its GTK_MODULES value (null when unset): a list separated by ':' or ',' that names
// "atk-bridge", or a path to its library. Any thread.
bool gtkModulesLoadAtkBridge(const char* gtkModules);

// Whether a process's memory map (the text of /proc/PID/maps) shows the ATK bridge module
// loaded, however it came to be (a desktop setting loads it too). Any thread.
bool mapsShowAtkBridge(std::string_view maps);
