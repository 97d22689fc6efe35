#include "platform/linux/x11_window_stacking.h"

#include <X11/Xlib.h>

#include <memory>

#include "platform/linux/x11_client_windows.h"

namespace {

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};

bool shown(Display* display, Window window) {
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display, window, &attributes) &&
           attributes.map_state == IsViewable && !attributes.override_redirect;
}

}  // namespace

std::vector<std::string> x11WindowTitlesTopFirst(int32_t pid) {
    std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(nullptr));
    if (!display || pid <= 0) {
        return {};
    }
    std::vector<std::string> titles;
    std::vector<Window> bottomFirst =
        x11_clients::clientWindows(display.get(), "_NET_CLIENT_LIST_STACKING");
    for (auto window = bottomFirst.rbegin(); window != bottomFirst.rend(); ++window) {
        if (x11_clients::ownedBy(display.get(), *window, pid) && shown(display.get(), *window)) {
            titles.push_back(x11_clients::title(display.get(), *window));
        }
    }
    return titles;
}
