#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <string>
#include <vector>

// Reading other programs' top-level windows on an X display. Any of them may be destroyed at
// any moment: callers expect X errors and ignore them.
namespace x11_clients {

// A window property of 32-bit items (longs on the client side); empty when it is absent or of
// another type.
std::vector<unsigned long> cardinals(Display* display, Window window, const char* name, Atom type);

// Whether the window belongs to the process `pid` of this machine: its _NET_WM_PID names it and
// its WM_CLIENT_MACHINE, when it has one, names this machine.
bool ownedBy(Display* display, Window window, int32_t pid);

// The top-level windows the window manager lists in its root property `listName`
// (_NET_CLIENT_LIST, or _NET_CLIENT_LIST_STACKING for bottom to top), else the root window's
// children, which X keeps in stacking order, bottom first.
std::vector<Window> clientWindows(Display* display, const char* listName);

// The window's title (_NET_WM_NAME, else WM_NAME); empty when it has none.
std::string title(Display* display, Window window);

}  // namespace x11_clients
