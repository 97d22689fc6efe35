#include "panel/app/panel_window_place.h"

#include <cstdio>

#include "panel/app/panel_placement.h"

std::optional<ScreenRect> parsePanelFrame(const std::string& text) {
    // Far beyond any desktop; a file edited by hand can hold anything.
    constexpr long kLimit = 1000000;
    long x = 0, y = 0, width = 0, height = 0;
    int used = 0;
    if (std::sscanf(text.c_str(), "%ld %ld %ld %ld%n", &x, &y, &width, &height, &used) != 4 ||
        static_cast<size_t>(used) != text.size() || x < -kLimit || x > kLimit || y < -kLimit ||
        y > kLimit || width <= 0 || width > kLimit || height <= 0 || height > kLimit) {
        return std::nullopt;
    }
    return ScreenRect{static_cast<int>(x), static_cast<int>(y), static_cast<int>(width),
                      static_cast<int>(height)};
}

std::string formatPanelFrame(const ScreenRect& frame) {
    return std::to_string(frame.x) + " " + std::to_string(frame.y) + " " +
           std::to_string(frame.width) + " " + std::to_string(frame.height);
}

PanelWindowPlacer::PanelWindowPlacer(DesktopWindows& desktop, PanelWindowFrame& window,
                                     UserDefaults& defaults)
    : desktop_(desktop), window_(window), defaults_(defaults) {}

void PanelWindowPlacer::placeAtStart(int32_t hostPid) {
    std::optional<EditorWindow> editor;
    if (hostPid > 0) {
        editor = desktop_.editorWindowOf(hostPid);
    }
    PlacementRequest request;
    request.workAreas = desktop_.workAreas();
    request.width = kPanelWidth;
    request.height = kPanelHeight;
    request.minimumWidth = kPanelMinimumWidth;
    request.minimumHeight = kPanelMinimumHeight;
    if (std::optional<std::string> stored = defaults_.stringForKey(kPanelFrameKey)) {
        request.remembered = parsePanelFrame(*stored);
    }
    if (editor) {
        request.editor = editor->frame;
        // The same window manager frames both windows alike.
        request.extents = editor->extents;
    }
    window_.arrange(placePanel(request), kPanelMinimumWidth, kPanelMinimumHeight);
    window_.stayAbove(editor ? std::optional(editor->id) : std::nullopt);
    window_.setChanged([this](const ScreenRect& frame) {
        defaults_.setString(kPanelFrameKey, formatPanelFrame(frame));
    });
}

void PanelWindowPlacer::follow(int32_t hostPid) {
    if (hostPid <= 0) {
        return;
    }
    if (std::optional<EditorWindow> editor = desktop_.editorWindowOf(hostPid)) {
        window_.stayAbove(editor->id);
    }
}
