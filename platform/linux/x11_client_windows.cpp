#include "platform/linux/x11_client_windows.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <climits>
#include <memory>

namespace x11_clients {

namespace {

struct XFreeDeleter {
    void operator()(void* data) const { XFree(data); }
};

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

}  // namespace

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

bool ownedBy(Display* display, Window window, int32_t pid) {
    std::vector<unsigned long> owner = cardinals(display, window, "_NET_WM_PID", XA_CARDINAL);
    return pid > 0 && owner.size() == 1 && owner[0] == static_cast<unsigned long>(pid) &&
           fromThisMachine(display, window);
}

std::vector<Window> clientWindows(Display* display, const char* listName) {
    const Window root = DefaultRootWindow(display);
    std::vector<unsigned long> listed = cardinals(display, root, listName, XA_WINDOW);
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

std::string title(Display* display, Window window) {
    // Titles are short; a longer one is cut, which only makes it match nothing.
    constexpr long kMaxTitleLongs = 1024;
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), 0,
                           kMaxTitleLongs, False, utf8, &actualType, &format, &count, &after,
                           &data) == Success) {
        std::unique_ptr<unsigned char, XFreeDeleter> owned(data);
        if (actualType == utf8 && format == 8 && data != nullptr) {
            return std::string(reinterpret_cast<const char*>(data), count);
        }
    }
    XTextProperty text{};
    if (!XGetWMName(display, window, &text) || text.value == nullptr) {
        return "";
    }
    std::unique_ptr<unsigned char, XFreeDeleter> owned(text.value);
    return std::string(reinterpret_cast<const char*>(text.value), text.nitems);
}

}  // namespace x11_clients
