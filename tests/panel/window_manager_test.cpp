// The panel's window under a real window manager (openbox) on a display of the test's own,
// beside an editor window of the test's own: where it opens, that it stays above the editor,
// that it comes back where the user left it, and that it can't be made smaller than the page
// needs.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "lumivo_test_paths.h"
#include "panel_install.h"
#include "panel_process.h"

// Last: Xlib's macros (None, Bool, Status) would break the test framework's headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

using namespace std::chrono_literals;

// A window on the display, as the window manager shows it.
struct Shown {
    Window client = 0;
    int x = 0, y = 0;           // the frame's top-left corner
    int width = 0, height = 0;  // the content
    int frameWidth = 0, frameHeight = 0;
};

class Desktop {
  public:
    Desktop() {
        server_ = std::make_unique<ChildProcess>(
            "Xvfb", std::vector<std::string>{"-displayfd", "2", "-screen", "0", "1920x1080x24",
                                             "-nolisten", "tcp", "-nolisten", "unix"});
        for (std::optional<std::string> line; (line = server_->readLine(20s));) {
            if (!line->empty() && line->find_first_not_of("0123456789") == std::string::npos) {
                name_ = ":" + *line;
                break;
            }
        }
        if (name_.empty() || (display_ = XOpenDisplay(name_.c_str())) == nullptr) {
            return;
        }
        ::setenv("DISPLAY", name_.c_str(), 1);
        wm_ = std::make_unique<ChildProcess>("openbox", std::vector<std::string>{"--sm-disable"});
        // Openbox names its theme on the root window last, once it manages windows.
        managed_ = waitFor([&] { return hasProperty(root(), "_OB_THEME"); });
    }
    ~Desktop() {
        if (display_ != nullptr) {
            XCloseDisplay(display_);
        }
        wm_.reset();
        server_.reset();
    }

    bool ready() const { return managed_; }
    Window root() const { return DefaultRootWindow(display_); }

    bool hasProperty(Window window, const char* name) {
        Atom actual = None;
        int format;
        unsigned long count, after;
        unsigned char* data = nullptr;
        XGetWindowProperty(display_, window, atom(name), 0, 0, False, AnyPropertyType, &actual,
                           &format, &count, &after, &data);
        if (data != nullptr) {
            XFree(data);
        }
        return actual != None;
    }

    std::vector<unsigned long> cardinals(Window window, const char* name,
                                         Atom type = AnyPropertyType) {
        Atom actual;
        int format;
        unsigned long count, after;
        unsigned char* data = nullptr;
        std::vector<unsigned long> values;
        if (XGetWindowProperty(display_, window, atom(name), 0, 1024, False, type, &actual, &format,
                               &count, &after, &data) == Success &&
            data != nullptr && format == 32) {
            auto* items = reinterpret_cast<unsigned long*>(data);
            values.assign(items, items + count);
        }
        if (data != nullptr) {
            XFree(data);
        }
        return values;
    }

    // The managed, shown window of a process.
    std::optional<Shown> windowOf(pid_t pid) {
        XSync(display_, False);
        for (unsigned long client : cardinals(root(), "_NET_CLIENT_LIST", XA_WINDOW)) {
            std::vector<unsigned long> owner = cardinals(client, "_NET_WM_PID", XA_CARDINAL);
            XWindowAttributes attributes{};
            if (owner.size() != 1 || owner[0] != static_cast<unsigned long>(pid) ||
                !XGetWindowAttributes(display_, client, &attributes) ||
                attributes.map_state != IsViewable) {
                continue;
            }
            Shown shown;
            shown.client = client;
            Window child;
            XTranslateCoordinates(display_, client, root(), 0, 0, &shown.x, &shown.y, &child);
            std::vector<unsigned long> e = cardinals(client, "_NET_FRAME_EXTENTS", XA_CARDINAL);
            e.resize(4, 0);
            shown.x -= static_cast<int>(e[0]);
            shown.y -= static_cast<int>(e[2]);
            shown.width = attributes.width;
            shown.height = attributes.height;
            shown.frameWidth = attributes.width + static_cast<int>(e[0] + e[1]);
            shown.frameHeight = attributes.height + static_cast<int>(e[2] + e[3]);
            return shown;
        }
        return std::nullopt;
    }

    std::optional<Shown> waitForWindowOf(pid_t pid) {
        std::optional<Shown> shown;
        waitFor([&] { return (shown = windowOf(pid)).has_value(); });
        return shown;
    }

    // An EWMH request to the window manager about `window`, as a pager or a user would send it.
    void request(Window window, const char* message, std::vector<long> data) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = atom(message);
        event.xclient.format = 32;
        for (size_t i = 0; i < data.size() && i < 5; ++i) {
            event.xclient.data.l[i] = data[i];
        }
        XSendEvent(display_, root(), False, SubstructureRedirectMask | SubstructureNotifyMask,
                   &event);
        XFlush(display_);
    }

    // Where `window` lies in the stacking order, bottom first; -1 when it is not there.
    long stackingIndex(Window window) {
        std::vector<unsigned long> order =
            cardinals(root(), "_NET_CLIENT_LIST_STACKING", XA_WINDOW);
        auto found = std::find(order.begin(), order.end(), window);
        return found == order.end() ? -1 : found - order.begin();
    }

    Atom atom(const char* name) { return XInternAtom(display_, name, False); }
    Display* display() { return display_; }

    static bool waitFor(const std::function<bool()>& done, std::chrono::seconds limit = 30s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(50ms);
        }
        return true;
    }

  private:
    std::unique_ptr<ChildProcess> server_;
    std::unique_ptr<ChildProcess> wm_;
    std::string name_;
    Display* display_ = nullptr;
    bool managed_ = false;
};

const std::string kFakeEditor = std::string(LUMIVO_BINARY_DIR) + "/tests/panel/lumivo-fake-editor";

std::unique_ptr<ChildProcess> startEditor(int x, int y, int width, int height) {
    auto editor = std::make_unique<ChildProcess>(
        kFakeEditor, std::vector<std::string>{std::to_string(x), std::to_string(y),
                                              std::to_string(width), std::to_string(height)});
    editor->waitForLine("fake editor window", 20s);
    return editor;
}

std::optional<std::string> storedFrame(const PanelInstall& install) {
    const std::string text =
        readText(install.temp / "config/com.lumivo.affinity-panel-host/defaults.ini");
    const std::string key = "LumivoPanelFrame=";
    const size_t at = text.find(key);
    if (at == std::string::npos) {
        return std::nullopt;
    }
    return text.substr(at + key.size(), text.find('\n', at) - at - key.size());
}

TEST(PanelWindow, OpensBesideItsEditorStaysAboveItAndComesBackWhereTheUserLeftIt) {
    Desktop desktop;
    ASSERT_TRUE(desktop.ready()) << "no X server or window manager";
    auto editor = startEditor(60, 40, 900, 800);
    auto editorShown = desktop.waitForWindowOf(editor->pid());
    ASSERT_TRUE(editorShown) << "the editor's window never showed: " << editor->allOutput();

    PanelInstall install(kProbePage);
    writeSolidPng(install.spool + "/input-1.png", 4, 4, {1, 2, 3, 255});
    const std::vector<std::string> arguments{install.spool + "/input-1.png", install.spool,
                                             std::to_string(editor->pid())};
    auto panel = install.start(arguments);
    auto shown = desktop.waitForWindowOf(panel->pid());
    ASSERT_TRUE(shown) << panel->allOutput();
    RecordProperty("editor_frame", std::to_string(editorShown->x) + "," +
                                       std::to_string(editorShown->y) + " " +
                                       std::to_string(editorShown->frameWidth) + "x" +
                                       std::to_string(editorShown->frameHeight));
    // Beside the editor's frame, level with its top, at its first size.
    EXPECT_EQ(shown->x, editorShown->x + editorShown->frameWidth);
    EXPECT_EQ(shown->y, editorShown->y);
    EXPECT_EQ(shown->width, 440);
    EXPECT_EQ(shown->height, 760);
    EXPECT_EQ(desktop.cardinals(shown->client, "WM_TRANSIENT_FOR", XA_WINDOW),
              std::vector<unsigned long>{editorShown->client});

    // The user clicks the editor: it becomes the active window, and the panel stays above it.
    desktop.request(editorShown->client, "_NET_ACTIVE_WINDOW", {2, CurrentTime, 0});
    EXPECT_TRUE(Desktop::waitFor([&] {
        return desktop.cardinals(desktop.root(), "_NET_ACTIVE_WINDOW", XA_WINDOW) ==
               std::vector<unsigned long>{editorShown->client};
    }));
    EXPECT_GT(desktop.stackingIndex(shown->client), desktop.stackingIndex(editorShown->client));

    // The user makes it too small: the window manager keeps the least size the page needs.
    XResizeWindow(desktop.display(), shown->client, 100, 100);
    XFlush(desktop.display());
    EXPECT_TRUE(Desktop::waitFor([&] {
        auto now = desktop.windowOf(panel->pid());
        return now && now->width == 360 && now->height == 520;
    })) << "the window is "
        << desktop.windowOf(panel->pid())->width << "x" << desktop.windowOf(panel->pid())->height;

    // The user moves and resizes it elsewhere, then closes it; the next run opens it there.
    desktop.request(shown->client, "_NET_MOVERESIZE_WINDOW",
                    {NorthWestGravity | (0xf << 8) | (2 << 12), 1100, 120, 520, 700});
    EXPECT_TRUE(Desktop::waitFor([&] {
        auto now = desktop.windowOf(panel->pid());
        return now && now->x == 1100 && now->y == 120 && now->width == 520 && now->height == 700;
    }));
    EXPECT_TRUE(Desktop::waitFor([&] { return storedFrame(install) == "1100 120 520 700"; }))
        << storedFrame(install).value_or("nothing stored");
    desktop.request(desktop.windowOf(panel->pid())->client, "_NET_CLOSE_WINDOW", {CurrentTime, 2});
    EXPECT_EQ(panel->waitForExit(), 0);

    writeSolidPng(install.spool + "/input-1.png", 4, 4, {1, 2, 3, 255});
    auto again = install.start(arguments);
    auto reopened = desktop.waitForWindowOf(again->pid());
    ASSERT_TRUE(reopened) << again->allOutput();
    EXPECT_EQ(reopened->x, 1100);
    EXPECT_EQ(reopened->y, 120);
    EXPECT_EQ(reopened->width, 520);
    EXPECT_EQ(reopened->height, 700);
}

TEST(PanelWindow, WithoutAnEditorWindowItIsAUtilityWindowInTheMiddle) {
    Desktop desktop;
    ASSERT_TRUE(desktop.ready()) << "no X server or window manager";
    ChildProcess windowless("sleep", {"600"});
    PanelInstall install(kProbePage);
    writeSolidPng(install.spool + "/input-1.png", 4, 4, {1, 2, 3, 255});
    auto panel = install.start(
        {install.spool + "/input-1.png", install.spool, std::to_string(windowless.pid())});
    auto shown = desktop.waitForWindowOf(panel->pid());
    ASSERT_TRUE(shown) << panel->allOutput();
    EXPECT_EQ(desktop.cardinals(shown->client, "_NET_WM_WINDOW_TYPE", XA_ATOM),
              std::vector<unsigned long>{desktop.atom("_NET_WM_WINDOW_TYPE_UTILITY")});
    EXPECT_TRUE(desktop.cardinals(shown->client, "WM_TRANSIENT_FOR", XA_WINDOW).empty());
    // Centred as far as the frame the window manager adds could be foreseen.
    EXPECT_NEAR(shown->x + shown->frameWidth / 2, 960, 20);
    EXPECT_NEAR(shown->y + shown->frameHeight / 2, 540, 20);
}

}  // namespace
