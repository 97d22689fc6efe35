// lumivo-press-menu PID [SECONDS]: presses the "Lumivo" menu item of the process PID through
// the accessibility bus, the way the panel does (in the process's window stacked highest),
// waiting up to SECONDS (default 30) for the process to show its menu. Exit status 0 once
// pressed, 1 when it never could be.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include <X11/Xlib.h>

#include "panel/app/apply_menu_search.h"
#include "platform/linux/atspi_accessibility.h"
#include "platform/linux/x11_window_stacking.h"

namespace {

// The editor's windows may close while they are read: their errors are expected.
int ignoreXError(Display*, XErrorEvent*) {
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::atoi(argv[1]) <= 0) {
        std::fputs("usage: lumivo-press-menu PID [SECONDS]\n", stderr);
        return 2;
    }
    const pid_t pid = std::atoi(argv[1]);
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 30;
    XSetErrorHandler(ignoreXError);
    AtspiAccessibility ax;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    do {
        if (AxHandle item = locateLumivoMenuItem(ax, pid, x11WindowTitlesTopFirst(pid))) {
            EnabledRead enabled = ax.enabled(*item);
            if (enabled.outcome == EnabledRead::kValue && enabled.value && ax.press(*item)) {
                return 0;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (std::chrono::steady_clock::now() < limit);
    std::fprintf(stderr, "lumivo-press-menu: no \"Lumivo\" item to press in process %d\n", pid);
    return 1;
}
