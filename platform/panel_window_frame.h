#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "platform/desktop_windows.h"

// The panel window's place on the desktop: the position of its frame's top-left corner and the
// size of its content, the way a user moves and resizes it. Main thread only; calls on a window
// that is gone do nothing.
class PanelWindowFrame {
  public:
    using Changed = std::function<void(const ScreenRect& frame)>;

    virtual ~PanelWindowFrame() = default;
    // Where the window is now; none while it is not shown.
    virtual std::optional<ScreenRect> frame() = 0;
    // Before the window is first shown: its place, and the least content size it may be given.
    virtual void arrange(const ScreenRect& frame, int minimumWidth, int minimumHeight) = 0;
    // Keeps the window above the editor's window `editor` while both are shown; without one, the
    // window asks to be treated as a utility window (only before it is first shown).
    virtual void stayAbove(std::optional<uint64_t> editor) = 0;
    // Called once the window has settled after each move or resize.
    virtual void setChanged(Changed changed) = 0;
};
