// lumivo-fake-editor X Y WIDTH HEIGHT: an editor as the panel sees it on the desktop, one
// top-level window of this process at the given place, named by _NET_WM_PID and
// WM_CLIENT_MACHINE as toolkits name theirs. Says "fake editor window ID" on standard error once
// the window is shown, then runs until it is killed.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fputs("usage: lumivo-fake-editor X Y WIDTH HEIGHT\n", stderr);
        return 2;
    }
    const int x = std::atoi(argv[1]);
    const int y = std::atoi(argv[2]);
    const int width = std::atoi(argv[3]);
    const int height = std::atoi(argv[4]);
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return 1;
    }
    const Window window = XCreateSimpleWindow(
        display, DefaultRootWindow(display), x, y, static_cast<unsigned>(width),
        static_cast<unsigned>(height), 0, 0, WhitePixel(display, DefaultScreen(display)));
    char host[HOST_NAME_MAX + 1] = {};
    ::gethostname(host, sizeof host - 1);
    char* hostList[] = {host};
    XTextProperty machine{};
    XStringListToTextProperty(hostList, 1, &machine);
    XSizeHints hints{};
    hints.flags = USPosition | USSize;
    hints.x = x;
    hints.y = y;
    hints.width = width;
    hints.height = height;
    XSetWMProperties(display, window, nullptr, nullptr, argv, argc, &hints, nullptr, nullptr);
    XSetWMClientMachine(display, window, &machine);
    XFree(machine.value);
    XStoreName(display, window, "Fake editor");
    const long pid = ::getpid();
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
    XSelectInput(display, window, StructureNotifyMask);
    XMapWindow(display, window);
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MapNotify) {
            std::fprintf(stderr, "fake editor window %lu\n", window);
            std::fflush(stderr);
        }
    }
}
