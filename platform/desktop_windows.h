#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// A rectangle on the desktop, in screen pixels.
struct ScreenRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool operator==(const ScreenRect&) const = default;
};

// How much a window manager's frame adds around a window's content.
struct FrameExtents {
    int left = 0;
    int right = 0;
    int top = 0;
    int bottom = 0;

    bool operator==(const FrameExtents&) const = default;
};

// An editor's main window as the desktop shows it.
struct EditorWindow {
    uint64_t id = 0;       // the desktop's handle of the window
    ScreenRect frame;      // the window with its frame
    FrameExtents extents;  // what the frame adds around its content
};

// The desktop's screens and windows as the panel's placement needs them. Main thread only;
// each call asks the desktop afresh and blocks only briefly. Failures read as "none".
class DesktopWindows {
  public:
    virtual ~DesktopWindows() = default;
    // The part of each monitor that windows may use (without panels and docks), the primary
    // monitor first; empty when the desktop can't say.
    virtual std::vector<ScreenRect> workAreas() = 0;
    // The largest shown top-level window of the process `pid` on this machine, if any.
    virtual std::optional<EditorWindow> editorWindowOf(int32_t pid) = 0;
};
