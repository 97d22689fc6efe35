#include "platform/linux/x11_desktop_windows.h"

#include <X11/Xatom.h>
#include <gdk/gdkx.h>

#include "platform/linux/x11_client_windows.h"

namespace {

using x11_clients::cardinals;

std::optional<EditorWindow> describe(Display* display, Window window) {
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window, &attributes) || attributes.map_state != IsViewable ||
        attributes.override_redirect) {
        return std::nullopt;
    }
    int x = 0;
    int y = 0;
    Window child = 0;
    if (!XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child)) {
        return std::nullopt;
    }
    EditorWindow editor;
    editor.id = window;
    std::vector<unsigned long> extents =
        cardinals(display, window, "_NET_FRAME_EXTENTS", XA_CARDINAL);
    if (extents.size() == 4) {
        auto side = [](unsigned long value) { return static_cast<int>(value & 0xffff); };
        editor.extents = {side(extents[0]), side(extents[1]), side(extents[2]), side(extents[3])};
    }
    const FrameExtents& e = editor.extents;
    editor.frame = {x - e.left, y - e.top, attributes.width + e.left + e.right,
                    attributes.height + e.top + e.bottom};
    return editor;
}

}  // namespace

std::vector<ScreenRect> X11DesktopWindows::workAreas() {
    std::vector<ScreenRect> areas;
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr) {
        return areas;
    }
    GdkMonitor* primary = gdk_display_get_primary_monitor(display);
    const int count = gdk_display_get_n_monitors(display);
    for (int i = 0; i < count; ++i) {
        GdkMonitor* monitor = gdk_display_get_monitor(display, i);
        GdkRectangle area{};
        gdk_monitor_get_workarea(monitor, &area);
        ScreenRect rect{area.x, area.y, area.width, area.height};
        if (monitor == primary) {
            areas.insert(areas.begin(), rect);
        } else {
            areas.push_back(rect);
        }
    }
    return areas;
}

std::optional<EditorWindow> X11DesktopWindows::editorWindowOf(int32_t pid) {
    GdkDisplay* gdkDisplay = gdk_display_get_default();
    if (pid <= 0 || gdkDisplay == nullptr || !GDK_IS_X11_DISPLAY(gdkDisplay)) {
        return std::nullopt;
    }
    Display* display = GDK_DISPLAY_XDISPLAY(gdkDisplay);
    // Another program's window may be destroyed at any moment: its errors are expected.
    gdk_x11_display_error_trap_push(gdkDisplay);
    std::optional<EditorWindow> largest;
    for (Window window : x11_clients::clientWindows(display, "_NET_CLIENT_LIST")) {
        if (!x11_clients::ownedBy(display, window, pid)) {
            continue;
        }
        std::optional<EditorWindow> found = describe(display, window);
        if (found && (!largest || int64_t{found->frame.width} * found->frame.height >
                                      int64_t{largest->frame.width} * largest->frame.height)) {
            largest = found;
        }
    }
    gdk_x11_display_error_trap_pop_ignored(gdkDisplay);
    return largest;
}
