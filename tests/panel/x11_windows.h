#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// The visible top-level windows of a process on the test's X display, and closing one as a
// user would (WM_DELETE_WINDOW). Test thread only.
struct X11Window {
    unsigned long id = 0;
    std::string title;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

std::vector<X11Window> visibleWindowsOf(pid_t pid);
// The display's size as width x height; 0 x 0 without a display.
std::pair<int, int> screenSize();
bool requestClose(const X11Window& window);
