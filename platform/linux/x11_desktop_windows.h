#pragma once

#include "platform/desktop_windows.h"

// DesktopWindows on GDK's default display. Monitors come from GDK (work areas as the window
// manager announces them); an editor's window is found among the window manager's client list
// (_NET_CLIENT_LIST), else among the root window's children, by its _NET_WM_PID and its
// WM_CLIENT_MACHINE, with its frame from _NET_FRAME_EXTENTS. A display other than X11 has no
// editor windows. Main thread only; X errors of windows that vanish meanwhile are ignored.
class X11DesktopWindows final : public DesktopWindows {
  public:
    std::vector<ScreenRect> workAreas() override;
    std::optional<EditorWindow> editorWindowOf(int32_t pid) override;
};
