#pragma once

#include <optional>
#include <vector>

#include "platform/desktop_windows.h"

// What decides where the panel's window opens.
struct PlacementRequest {
    std::vector<ScreenRect> workAreas;  // each monitor's usable part, the primary first
    std::optional<ScreenRect> editor;   // the editor's window with its frame, when found
    FrameExtents extents;               // the frame the panel's window is expected to get
    int width = 0;                      // the content size wanted when nothing is remembered
    int height = 0;
    int minimumWidth = 0;  // the least content size the page works in
    int minimumHeight = 0;
    std::optional<ScreenRect> remembered;  // where the user left the window last time
};

// Where the panel's window opens: the position of its frame's top-left corner and the size of
// its content. The size is the remembered one (else the one wanted), within the least size and
// the editor's work area. Beside the editor's window where its work area has room (right, then
// left), else where the panel covers the least of it, keeping to the editor's top edge unless
// another place covers clearly less, so its status bar stays free. A remembered place is kept
// while it lies on a monitor and covers the editor about as little. Without an editor: the
// remembered place, else the centre of the primary monitor.
ScreenRect placePanel(const PlacementRequest& request);
