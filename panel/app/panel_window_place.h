#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/desktop_windows.h"
#include "platform/panel_window_frame.h"
#include "platform/user_defaults.h"

// The user-defaults entry that keeps where the user left the panel's window: "x y width height",
// the frame's top-left corner and the content's size, in screen pixels.
inline constexpr char kPanelFrameKey[] = "LumivoPanelFrame";

// The content size the panel opens with the first time, and the least it may be made: below it
// the page's preview and looks no longer fit beside the apply button.
inline constexpr int kPanelWidth = 440;
inline constexpr int kPanelHeight = 760;
inline constexpr int kPanelMinimumWidth = 360;
inline constexpr int kPanelMinimumHeight = 520;

// The stored text read back; none when it is absent or not four sane numbers.
std::optional<ScreenRect> parsePanelFrame(const std::string& text);
std::string formatPanelFrame(const ScreenRect& frame);

// Places the panel's window beside its editor's window, keeps it above that window, and
// remembers where the user leaves it. Main thread only; every reference must outlive it.
class PanelWindowPlacer {
  public:
    PanelWindowPlacer(DesktopWindows& desktop, PanelWindowFrame& window, UserDefaults& defaults);

    // Before the window is first shown, for the editor process `hostPid` (0 or less: unknown).
    void placeAtStart(int32_t hostPid);
    // A hand-off was accepted from the editor process `hostPid`: the window stays above that
    // editor's window from now on, where it is.
    void follow(int32_t hostPid);

  private:
    DesktopWindows& desktop_;
    PanelWindowFrame& window_;
    UserDefaults& defaults_;
};
