// lumivo-press PID NAME [SECONDS]: does what a user's click on NAME would do in the process PID,
// through the accessibility bus, as assistive technology does: the first element in the
// process's tree (depth first) whose accessible name is NAME, that is enabled and offers an
// action, has its first action performed: a menu item's "click", a button's "press" (the
// panel's page shows its buttons there too). The process's windows are searched the highest
// stacked first, as a user clicks in the window in front (with one menu bar per image window,
// the same item acts on another image in each), then its whole tree. Waits up to SECONDS
// (default 30) for such an element. Exit status 0 once done, 1 when it never could be, 2 for a
// usage error.
#include <X11/Xlib.h>
#include <atspi/atspi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "panel/app/apply_menu_search.h"
#include "platform/linux/x11_window_stacking.h"

namespace {

// Menus of GIMP and the page's document are a few hundred elements deep in all; the bound only
// keeps a runaway tree from stalling the test.
constexpr int kMaxDepth = 40;
constexpr int kMaxElements = 20000;

struct Search {
    const std::string& name;
    int visited = 0;
};

bool enabled(AtspiAccessible* element) {
    AtspiStateSet* states = atspi_accessible_get_state_set(element);
    if (states == nullptr) {
        return false;
    }
    const bool on = atspi_state_set_contains(states, ATSPI_STATE_ENABLED) &&
                    atspi_state_set_contains(states, ATSPI_STATE_SENSITIVE);
    g_object_unref(states);
    return on;
}

// Performs the element's first action; false when it has none or it fails.
bool act(AtspiAccessible* element) {
    AtspiAction* action = atspi_accessible_get_action_iface(element);
    if (action == nullptr) {
        return false;
    }
    GError* error = nullptr;
    const bool done = atspi_action_get_n_actions(action, &error) > 0 && error == nullptr &&
                      atspi_action_do_action(action, 0, &error) && error == nullptr;
    g_clear_error(&error);
    g_object_unref(action);
    return done;
}

// Whether an element named as searched was found and pressed below `element`.
bool pressBelow(AtspiAccessible* element, int depth, Search& search) {
    if (depth > kMaxDepth || ++search.visited > kMaxElements) {
        return false;
    }
    GError* error = nullptr;
    gchar* name = atspi_accessible_get_name(element, &error);
    g_clear_error(&error);
    const bool named = name != nullptr && search.name == name;
    g_free(name);
    if (named && enabled(element) && act(element)) {
        return true;
    }
    const int count = atspi_accessible_get_child_count(element, &error);
    g_clear_error(&error);
    for (int i = 0; i < count; ++i) {
        AtspiAccessible* child = atspi_accessible_get_child_at_index(element, i, &error);
        g_clear_error(&error);
        if (child == nullptr) {
            continue;
        }
        const bool pressed = pressBelow(child, depth + 1, search);
        g_object_unref(child);
        if (pressed) {
            return true;
        }
    }
    return false;
}

// Whether an element named as searched was found and pressed in one of the application's
// windows that the desktop's stacking order names, the highest first.
bool pressInWindowsTopFirst(AtspiAccessible* app, pid_t pid, const std::string& name) {
    GError* error = nullptr;
    const int count = atspi_accessible_get_child_count(app, &error);
    g_clear_error(&error);
    std::vector<AtspiAccessible*> frames;
    std::vector<std::optional<std::string>> titles;
    for (int i = 0; i < count && i < kMaxElements; ++i) {
        AtspiAccessible* frame = atspi_accessible_get_child_at_index(app, i, &error);
        g_clear_error(&error);
        gchar* title = frame ? atspi_accessible_get_name(frame, &error) : nullptr;
        g_clear_error(&error);
        frames.push_back(frame);
        titles.push_back(title ? std::optional<std::string>(title) : std::nullopt);
        g_free(title);
    }
    bool pressed = false;
    for (size_t index : framesTopFirst(titles, x11WindowTitlesTopFirst(pid))) {
        Search search{name};
        if (frames[index] != nullptr && pressBelow(frames[index], 1, search)) {
            pressed = true;
            break;
        }
    }
    for (AtspiAccessible* frame : frames) {
        if (frame != nullptr) {
            g_object_unref(frame);
        }
    }
    return pressed;
}

bool pressIn(pid_t pid, const std::string& name) {
    AtspiAccessible* desktop = atspi_get_desktop(0);
    GError* error = nullptr;
    const int count = atspi_accessible_get_child_count(desktop, &error);
    g_clear_error(&error);
    bool pressed = false;
    for (int i = 0; i < count && !pressed; ++i) {
        AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, i, &error);
        g_clear_error(&error);
        if (app == nullptr) {
            continue;
        }
        if (static_cast<pid_t>(atspi_accessible_get_process_id(app, &error)) == pid) {
            // What a page shows changes under us: nothing read before counts.
            atspi_accessible_clear_cache(app);
            Search search{name};
            pressed = pressInWindowsTopFirst(app, pid, name) || pressBelow(app, 0, search);
        }
        g_clear_error(&error);
        g_object_unref(app);
    }
    g_object_unref(desktop);
    return pressed;
}

// Windows may close while they are read: their errors are expected.
int ignoreXError(Display*, XErrorEvent*) {
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || std::atoi(argv[1]) <= 0) {
        std::fputs("usage: lumivo-press PID NAME [SECONDS]\n", stderr);
        return 2;
    }
    const pid_t pid = std::atoi(argv[1]);
    const std::string name = argv[2];
    const int seconds = argc > 3 ? std::atoi(argv[3]) : 30;
    XSetErrorHandler(ignoreXError);
    if (atspi_init() < 0) {
        std::fputs("lumivo-press: no accessibility bus\n", stderr);
        return 1;
    }
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    do {
        if (pressIn(pid, name)) {
            return 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (std::chrono::steady_clock::now() < limit);
    std::fprintf(stderr, "lumivo-press: nothing enabled named \"%s\" to press in process %d\n",
                 name.c_str(), pid);
    return 1;
}
