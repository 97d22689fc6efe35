#include "platform/linux/x11_desktop_windows.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <gdk/gdkx.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>

namespace {

struct XFreeDeleter {
    void operator()(void* data) const { XFree(data); }
};

// A window property of 32-bit items (longs on the client side); empty when it is absent or of
// another type.
std::vector<unsigned long> cardinals(Display* display, Window window, const char* name, Atom type) {
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    const Atom property = XInternAtom(display, name, False);
    if (XGetWindowProperty(display, window, property, 0, 4096, False, type, &actualType, &format,
                           &count, &after, &data) != Success) {
        return {};
    }
    std::unique_ptr<unsigned char, XFreeDeleter> owned(data);
    if (actualType != type || format != 32 || data == nullptr) {
        return {};
    }
    const auto* items = reinterpret_cast<const unsigned long*>(data);
    return std::vector<unsigned long>(items, items + count);
}

// Whether the window's WM_CLIENT_MACHINE, when it has one, names this machine: process ids of
// programs shown from another machine mean nothing here.
bool fromThisMachine(Display* display, Window window) {
    XTextProperty text{};
    if (!XGetWMClientMachine(display, window, &text) || text.value == nullptr) {
        return true;
    }
    std::unique_ptr<unsigned char, XFreeDeleter> owned(text.value);
    char host[HOST_NAME_MAX + 1] = {};
    if (::gethostname(host, sizeof host - 1) != 0) {
        return true;
    }
    return std::string(reinterpret_cast<const char*>(text.value), text.nitems) == host;
}

std::vector<Window> clientWindows(Display* display) {
    const Window root = DefaultRootWindow(display);
    std::vector<unsigned long> listed = cardinals(display, root, "_NET_CLIENT_LIST", XA_WINDOW);
    if (!listed.empty()) {
        return std::vector<Window>(listed.begin(), listed.end());
    }
    // Without a window manager, top-level windows are the root's own children.
    Window rootReturn = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, root, &rootReturn, &parent, &children, &count)) {
        return {};
    }
    std::unique_ptr<Window, XFreeDeleter> owned(children);
    return std::vector<Window>(children, children + count);
}

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
    for (Window window : clientWindows(display)) {
        std::vector<unsigned long> owner = cardinals(display, window, "_NET_WM_PID", XA_CARDINAL);
        if (owner.size() != 1 || owner[0] != static_cast<unsigned long>(pid) ||
            !fromThisMachine(display, window)) {
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
