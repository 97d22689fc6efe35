#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/png.h"
#include "lumivo_test_paths.h"
#include "panel_install.h"
#include "panel_process.h"
#include "platform/linux/dbus_send_notifier.h"
#include "plugin/temp_dir.h"
#include "service/test_processes.h"
#include "x11_windows.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kPageUrl = "https://auth.lumivo.example/plugin-panel/affinity";
// The page as the build assembles it into the bundle.
const std::string kShippedPage = std::string(LUMIVO_BUNDLE_DIR) +
                                 "/Contents/Resources/LumivoAffinity.app/Contents/Resources/panel/"
                                 "index.html";

std::vector<X11Window> waitForWindows(pid_t pid, std::chrono::seconds limit = 30s) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        auto windows = visibleWindowsOf(pid);
        if (!windows.empty() || std::chrono::steady_clock::now() > deadline) {
            return windows;
        }
        std::this_thread::sleep_for(50ms);
    }
}

TEST(PanelApp, UsageErrorsAndUnusableStartInputs) {
    PanelInstall install(kProbePage);
    {
        auto panel = install.start({});
        EXPECT_EQ(panel->waitForExit(), 2);
        EXPECT_EQ(panel->allOutput(), "usage: LumivoAffinity <input.png> <spool-dir> [host-pid]\n");
    }
    {
        auto panel = install.start({install.temp / "x.png"});
        EXPECT_EQ(panel->waitForExit(), 2);
    }
    {
        // The newest input is taken over the command line's file, and every input is swept.
        writeText(install.spool + "/input-1.png", "not an image");
        writeText(install.spool + "/input-0.txt", "x");
        writeText(install.spool + "/result-1.png", "x");
        writeSolidPng(install.temp / "fallback.png", 2, 2, {1, 2, 3, 255});
        auto panel = install.start({install.temp / "fallback.png", install.spool});
        EXPECT_EQ(panel->waitForExit(), 1);
        EXPECT_EQ(entryNames(install.spool),
                  (std::vector<std::string>{"input-0.txt", "result-1.png"}));
        EXPECT_TRUE(fs::exists(install.temp / "fallback.png"));
    }
}

TEST(PanelApp, StartUpTouchesNothingOutsideItsSpoolAndNeverWaitsOnAFifo) {
    PanelInstall install(kProbePage);
    writeSolidPng(install.temp / "photo.png", 2, 2, {1, 2, 3, 255});
    {
        // A folder of the user's given as the spool directory: refused before anything is swept.
        const std::string documents = install.temp / "Documents";
        writeText(documents + "/input-draft.txt", "mine");
        writeText(documents + "/input-folder/notes.png", "mine");
        writeSolidPng(documents + "/input-1.png", 2, 2, {1, 2, 3, 255});
        auto panel = install.start({install.temp / "photo.png", documents});
        EXPECT_EQ(panel->waitForExit(), 1);
        EXPECT_EQ(entryNames(documents),
                  (std::vector<std::string>{"input-1.png", "input-draft.txt", "input-folder"}));
        EXPECT_TRUE(fs::exists(documents + "/input-folder/notes.png"));
    }
    {
        // A FIFO as the start input, and stale temporaries of a write that was killed.
        const std::string fifo = install.temp / "input.fifo";
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        writeText(install.spool + "/.input-1.png.aaaaaa", "half a file");
        fs::last_write_time(install.spool + "/.input-1.png.aaaaaa",
                            fs::file_time_type::clock::now() - std::chrono::hours(1));
        auto panel = install.start({fifo, install.spool});
        EXPECT_EQ(panel->waitForExit(5s), 1);
        EXPECT_TRUE(entryNames(install.spool).empty());
    }
}

// The probe page uses only the specified messages, page functions and globals here (no lanes):
// such a page still sees, exports and changes the frame.
TEST(PanelApp, PageSeesTheStartFrameExportsItHearsOfSendsAndClosesWithStatusZero) {
    PanelInstall install(kProbePage);
    writeSolidPng(install.spool + "/input-5.png", 5, 4, {10, 20, 30, 255});
    writeSolidPng(install.temp / "outside.png", 9, 9, {0, 0, 0, 255});
    // The host id is read as atoi does; it names a live process (this test), since a panel whose
    // editor has quit lets go of its frame.
    auto panel = install.start(
        {install.temp / "outside.png", install.spool, std::to_string(::getpid()) + "abc"});

    EXPECT_TRUE(
        panel->waitForLine("probe info {\"width\":5,\"height\":4,\"editor\":\"com.example.host\","
                           "\"arrival\":\"handed-off\"} at " +
                           kPageUrl))
        << panel->allOutput();
    EXPECT_TRUE(panel->waitForLine("probe frame first 5x4 px=10,20,30,255 pieces=1"))
        << panel->allOutput();
    EXPECT_TRUE(panel->waitForLine("probe import same-id=true ok=false status=\"\""))
        << panel->allOutput();
    auto error = panel->waitForLine(kLogPrefix + "error: ");
    ASSERT_TRUE(error) << panel->allOutput();
    EXPECT_NE(error->find("probe-boom @" + kPageUrl + ":"), std::string::npos) << *error;
    EXPECT_TRUE(panel->waitForLine(kLogPrefix + "rejection: Error: probe-reject"));

    auto lines = panel->lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), kLogPrefix), lines.end());
    for (const auto& line : lines) {
        EXPECT_EQ(line.find("too deep"), std::string::npos);
        EXPECT_EQ(line.find("upper"), std::string::npos);
    }
    EXPECT_TRUE(entryNames(install.spool).empty());
    EXPECT_TRUE(fs::exists(install.temp / "outside.png"));

    auto windows = waitForWindows(panel->pid());
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0].title, "Lumivo");
    EXPECT_EQ(windows[0].width, 440);
    EXPECT_EQ(windows[0].height, 760);
    auto [screenWidth, screenHeight] = screenSize();
    if (screenWidth >= 440 && screenHeight >= 760) {
        EXPECT_NEAR(windows[0].x, (screenWidth - 440) / 2, 1);
        EXPECT_NEAR(windows[0].y, (screenHeight - 760) / 2, 1);
    }
    EXPECT_TRUE(panel->running());

    // A send announcement brings the new frame to the page.
    writeSolidPng(install.spool + "/input-2.png", 7, 3, {200, 100, 50, 255});
    ASSERT_TRUE(DbusSendNotifier().post({install.spool + "/input-2.png", true, 0}));
    EXPECT_TRUE(
        panel->waitForLine("probe changed {\"width\":7,\"height\":3,\"editor\":"
                           "\"com.example.host\",\"arrival\":\"handed-off\"}"))
        << panel->allOutput();
    EXPECT_TRUE(panel->waitForLine("probe frame change-1 7x3 px=200,100,50,255 pieces=1"))
        << panel->allOutput();
    EXPECT_FALSE(fs::exists(install.spool + "/input-2.png"));

    ASSERT_TRUE(requestClose(windows[0]));
    EXPECT_EQ(panel->waitForExit(), 0);
}

// The web engine's page process, a child of the panel.
std::optional<pid_t> webProcessOf(pid_t panel) {
    for (const auto& entry : fs::directory_iterator("/proc")) {
        std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::string stat = readText(entry.path().string() + "/stat");
        auto close = stat.rfind(')');
        if (close == std::string::npos || stat.find("(WebKitWebProces") == std::string::npos) {
            continue;
        }
        int parent = 0;
        if (std::sscanf(stat.c_str() + close + 2, "%*c %d", &parent) == 1 && parent == panel) {
            return static_cast<pid_t>(std::stoi(name));
        }
    }
    return std::nullopt;
}

TEST(PanelApp, TheEndOfThePageProcessEndsThePanel) {
    PanelInstall install(kProbePage);
    writeSolidPng(install.spool + "/input-1.png", 3, 3, {1, 1, 1, 255});
    auto panel = install.start({install.spool + "/input-1.png", install.spool});
    ASSERT_TRUE(panel->waitForLine("probe frame first")) << panel->allOutput();
    std::optional<pid_t> web = webProcessOf(panel->pid());
    ASSERT_TRUE(web);
    ::kill(*web, SIGKILL);
    EXPECT_EQ(panel->waitForExit(), 0);
}

TEST(PanelApp, AFailedNavigationLeavesThePageInPlace) {
    // A loopback port that refuses every connection while the socket lives: bound, not listening.
    int refusing = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(refusing, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(refusing, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::getsockname(refusing, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string port = std::to_string(ntohs(address.sin_port));

    // The web engine's own error page would replace the panel's page, and with it every
    // function the application calls.
    PanelInstall install(kProbePage);
    writeSolidPng(install.spool + "/input-1.png", 3, 3, {1, 1, 1, 255});
    auto panel = install.start({install.spool + "/input-1.png", install.spool},
                               {"LUMIVO_PANEL_AUTOTEST=failed-navigation:" + port});
    EXPECT_TRUE(panel->waitForLine("probe still here 10")) << panel->allOutput();
    ::close(refusing);
}

TEST(PanelApp, MissingPageShowsTheAlertAndEndsWithStatusOne) {
    PanelInstall install(std::nullopt);
    writeSolidPng(install.spool + "/input-1.png", 3, 3, {1, 1, 1, 255});
    auto panel = install.start({install.spool + "/input-1.png", install.spool});
    auto windows = waitForWindows(panel->pid());
    ASSERT_EQ(windows.size(), 1u) << panel->allOutput();
    EXPECT_TRUE(panel->running());     // waiting for the user
    EXPECT_NE(windows[0].width, 440);  // the alert, not the panel
    ASSERT_TRUE(requestClose(windows[0]));
    EXPECT_EQ(panel->waitForExit(), 1);
}

TEST(PanelApp, ShippedPageLoadsTheFrameAndSendsAnEditBack) {
    // The page asks for its sign-in at start. On a bus of its own no keyring is started on
    // demand, so the answer (signed out) comes at once instead of after a keyring's prompt.
    ASSERT_TRUE(test_processes::PrivateBus::get().ok());
    PanelInstall install(kShippedPage);
    writeSolidPng(install.spool + "/input-1.png", 6, 5, {40, 80, 120, 255});
    auto panel = install.start({install.spool + "/input-1.png", install.spool},
                               {"LUMIVO_PANEL_AUTOTEST=invert"});
    EXPECT_TRUE(panel->waitForLine(kLogPrefix + "frame-loaded 6x5")) << panel->allOutput();
    EXPECT_TRUE(panel->waitForLine(kLogPrefix + "signed-out")) << panel->allOutput();
    EXPECT_TRUE(panel->waitForLine(kLogPrefix + "autotest edit=invert")) << panel->allOutput();
    // Whatever the apply-back concludes here (no editor runs), the page hears of it.
    EXPECT_TRUE(panel->waitForLine(kLogPrefix + "import-ack ok=")) << panel->allOutput();
    for (const auto& line : panel->lines()) {
        EXPECT_EQ(line.rfind(kLogPrefix + "error:", 0), std::string::npos) << line;
    }
}

}  // namespace
