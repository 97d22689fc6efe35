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

long cardinalProperty(Display* display, Window window, const char* name) {
    Atom property = XInternAtom(display, name, True);
    if (property == None) {
        return -1;
    }
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    long value = -1;
    if (XGetWindowProperty(display, window, property, 0, 1, False, XA_CARDINAL, &type, &format,
                           &count, &after, &data) == Success &&
        data != nullptr) {
        if (count == 1 && format == 32) {
            value = *reinterpret_cast<long*>(data);
        }
    }
    if (data != nullptr) {
        XFree(data);
    }
    return value;
}

std::string titleOf(Display* display, Window window) {
    Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
    Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(display, window, netName, 0, 1024, False, utf8, &type, &format, &count,
                           &after, &data) == Success &&
        data != nullptr) {
        title.assign(reinterpret_cast<char*>(data), count);
    }
    if (data != nullptr) {
        XFree(data);
    }
    return title;
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
        if (cardinalProperty(display.get(), children[i], "_NET_WM_PID") != pid) {
            continue;
        }
        found.push_back({children[i], titleOf(display.get(), children[i]), attributes.x,
                         attributes.y, attributes.width, attributes.height});
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
