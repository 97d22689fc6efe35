#include "panel/app/panel_placement.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace {

int64_t overlapArea(const ScreenRect& a, const ScreenRect& b) {
    const int64_t width =
        std::min<int64_t>(int64_t{a.x} + a.width, int64_t{b.x} + b.width) - std::max(a.x, b.x);
    const int64_t height =
        std::min<int64_t>(int64_t{a.y} + a.height, int64_t{b.y} + b.height) - std::max(a.y, b.y);
    return width > 0 && height > 0 ? width * height : 0;
}

bool inside(const ScreenRect& inner, const ScreenRect& outer) {
    return inner.x >= outer.x && inner.y >= outer.y &&
           int64_t{inner.x} + inner.width <= int64_t{outer.x} + outer.width &&
           int64_t{inner.y} + inner.height <= int64_t{outer.y} + outer.height;
}

// A value moved into [low, high], or to low when the range is empty.
int clampInto(int value, int low, int high) {
    return std::max(low, std::min(value, high));
}

// The work area that holds most of the editor's window; the primary one without an editor.
ScreenRect editorWorkArea(const PlacementRequest& request) {
    ScreenRect best = request.workAreas.front();
    if (request.editor) {
        int64_t bestOverlap = overlapArea(best, *request.editor);
        for (const ScreenRect& area : request.workAreas) {
            if (int64_t overlap = overlapArea(area, *request.editor); overlap > bestOverlap) {
                best = area;
                bestOverlap = overlap;
            }
        }
    }
    return best;
}

}  // namespace

ScreenRect placePanel(const PlacementRequest& request) {
    const FrameExtents& e = request.extents;
    ScreenRect content{0, 0, request.width, request.height};
    if (request.remembered) {
        content.width = request.remembered->width;
        content.height = request.remembered->height;
    }
    if (request.workAreas.empty()) {
        // Nothing known of the screens: the remembered place as it was, else the origin.
        content.x = request.remembered ? request.remembered->x : 0;
        content.y = request.remembered ? request.remembered->y : 0;
        content.width = std::max(content.width, request.minimumWidth);
        content.height = std::max(content.height, request.minimumHeight);
        return content;
    }
    const ScreenRect area = editorWorkArea(request);
    content.width =
        std::max(std::min(content.width, area.width - e.left - e.right), request.minimumWidth);
    content.height =
        std::max(std::min(content.height, area.height - e.top - e.bottom), request.minimumHeight);

    // The window with its frame at a frame position.
    const int outerWidth = content.width + e.left + e.right;
    const int outerHeight = content.height + e.top + e.bottom;
    auto outerAt = [&](int x, int y) { return ScreenRect{x, y, outerWidth, outerHeight}; };
    auto placed = [&](int x, int y) { return ScreenRect{x, y, content.width, content.height}; };
    auto onSomeMonitor = [&](const ScreenRect& outer) {
        return std::any_of(request.workAreas.begin(), request.workAreas.end(),
                           [&](const ScreenRect& a) { return inside(outer, a); });
    };
    const std::optional<ScreenRect> remembered =
        request.remembered && onSomeMonitor(outerAt(request.remembered->x, request.remembered->y))
            ? std::optional(outerAt(request.remembered->x, request.remembered->y))
            : std::nullopt;

    const int right = area.x + area.width - outerWidth;
    const int bottom = area.y + area.height - outerHeight;
    if (!request.editor) {
        if (remembered) {
            return placed(remembered->x, remembered->y);
        }
        return placed(area.x + (area.width - outerWidth) / 2,
                      area.y + (area.height - outerHeight) / 2);
    }

    // Beside the editor first, then at the work area's edges; the first that covers least wins.
    // A later place must cover clearly less (a sixteenth of the panel) to win, so that a sliver
    // doesn't move the panel from the editor's top down over its status bar.
    const ScreenRect& editor = *request.editor;
    const int64_t slack = int64_t{outerWidth} * outerHeight / 16;
    const int besideTop = clampInto(editor.y, area.y, bottom);
    const std::array<std::array<int, 2>, 8> candidates{{
        {editor.x + editor.width, besideTop},
        {editor.x - outerWidth, besideTop},
        {right, besideTop},
        {area.x, besideTop},
        {right, area.y},
        {area.x, area.y},
        {right, bottom},
        {area.x, bottom},
    }};
    ScreenRect best{};
    int64_t bestCover = -1;
    for (const auto& [x, y] : candidates) {
        const ScreenRect outer = outerAt(clampInto(x, area.x, right), clampInto(y, area.y, bottom));
        const int64_t cover = overlapArea(outer, editor);
        if (bestCover < 0 || cover + slack < bestCover) {
            best = outer;
            bestCover = cover;
        }
    }
    if (remembered && overlapArea(*remembered, editor) <= bestCover + slack) {
        return placed(remembered->x, remembered->y);
    }
    return placed(best.x, best.y);
}
