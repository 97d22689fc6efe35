#include "x11_windows.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <memory>

namespace {

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

// The bytes of a window property of the given type; empty when it is missing.
std::string property(Display* display, Window window, const char* name, Atom type) {
    Atom actualType;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    std::string bytes;
    if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 1024, False, type,
                           &actualType, &format, &count, &after, &data) == Success &&
        data != nullptr) {
        bytes.assign(reinterpret_cast<char*>(data), format == 32 ? count * sizeof(long) : count);
    }
    if (data != nullptr) {
        XFree(data);
    }
    return bytes;
}

}  // namespace

std::vector<X11Window> visibleWindowsOf(pid_t pid) {
    std::vector<X11Window> found;
    DisplayPtr display(XOpenDisplay(nullptr));
    if (!display) {
        return found;
    }
    Window root = DefaultRootWindow(display.get());
    Window rootReturn, parent;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display.get(), root, &rootReturn, &parent, &children, &count)) {
        return found;
    }
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display.get(), children[i], &attributes) ||
            attributes.map_state != IsViewable) {
            continue;
        }
        const std::string owner = property(display.get(), children[i], "_NET_WM_PID", XA_CARDINAL);
        if (owner.size() != sizeof(long) || *reinterpret_cast<const long*>(owner.data()) != pid) {
            continue;
        }
        found.push_back({children[i],
                         property(display.get(), children[i], "_NET_WM_NAME",
                                  XInternAtom(display.get(), "UTF8_STRING", False)),
                         attributes.x, attributes.y, attributes.width, attributes.height});
    }
    if (children != nullptr) {
        XFree(children);
    }
    return found;
}

std::pair<int, int> screenSize() {
    DisplayPtr display(XOpenDisplay(nullptr));
    if (!display) {
        return {0, 0};
    }
    Screen* screen = DefaultScreenOfDisplay(display.get());
    return {WidthOfScreen(screen), HeightOfScreen(screen)};
}

bool requestClose(const X11Window& window) {
    DisplayPtr display(XOpenDisplay(nullptr));
    if (!display) {
        return false;
    }
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window.id;
    event.xclient.message_type = XInternAtom(display.get(), "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] =
        static_cast<long>(XInternAtom(display.get(), "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    Status sent = XSendEvent(display.get(), window.id, False, NoEventMask, &event);
    XFlush(display.get());
    return sent != 0;
}
