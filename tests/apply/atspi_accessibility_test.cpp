// The AT-SPI adapter against a real GTK menu (tests/apply/menu_fixture.cpp) on the
// accessibility bus of the test's session.
#include "platform/linux/atspi_accessibility.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "panel/app/apply_menu_search.h"
#include "platform/linux/atspi_permission.h"

extern char** environ;

namespace {

// The fixture program as a child with pipes on stdin and stdout; closing stdin ends it.
class MenuFixture {
  public:
    MenuFixture() {
        int in[2];
        int out[2];
        if (pipe(in) != 0 || pipe(out) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, in[1]);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        char program[] = LUMIVO_MENU_FIXTURE;
        char* argv[] = {program, nullptr};
        if (posix_spawn(&pid_, program, &actions, nullptr, argv, environ) != 0) {
            pid_ = 0;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        stdin_ = in[1];
        stdout_ = out[0];
    }
    ~MenuFixture() {
        close(stdin_);
        close(stdout_);
        if (pid_ > 0) {
            int status = 0;
            // It quits when its stdin closes; a fixture that hangs is not left behind.
            for (int i = 0; i < 100 && waitpid(pid_, &status, WNOHANG) == 0; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                if (i == 99) {
                    kill(pid_, SIGKILL);
                    waitpid(pid_, &status, 0);
                }
            }
        }
    }
    pid_t pid() const { return pid_; }

    // The next line the fixture prints, or "" when none comes within the limit.
    std::string readLine(int timeoutMs = 5000) {
        std::string line;
        char c = 0;
        pollfd p{stdout_, POLLIN, 0};
        while (poll(&p, 1, timeoutMs) == 1 && read(stdout_, &c, 1) == 1 && c != '\n') {
            line += c;
        }
        return line;
    }

  private:
    pid_t pid_ = 0;
    int stdin_ = -1;
    int stdout_ = -1;
};

// Waits until the fixture's menu bar is on the bus: an application registers shortly after
// its window maps.
AxHandle waitForMenuBar(Accessibility& ax, pid_t pid) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < limit) {
        if (AxHandle app = ax.application(pid)) {
            if (AxHandle bar = ax.menuBar(*app)) {
                return bar;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return nullptr;
}

AxHandle childTitled(Accessibility& ax, const AxElement& parent, const std::string& title) {
    auto children = ax.children(parent);
    if (children) {
        for (AxHandle& child : *children) {
            if (ax.title(*child) == title) {
                return std::move(child);
            }
        }
    }
    return nullptr;
}

TEST(AtspiAccessibilityTest, FindsAndPressesTheInnerItemOfAClosedMenu) {
    MenuFixture fixture;
    ASSERT_GT(fixture.pid(), 0);
    AtspiAccessibility ax;
    ASSERT_NE(waitForMenuBar(ax, fixture.pid()), nullptr) << "the fixture never showed its menu";

    // The submenus stay closed: GTK publishes their items all the same.
    AxHandle item = locateLumivoMenuItem(ax, fixture.pid());
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(ax.title(*item), "Lumivo");
    EnabledRead enabled = ax.enabled(*item);
    EXPECT_EQ(enabled.outcome, EnabledRead::kValue);
    EXPECT_TRUE(enabled.value);
    ASSERT_TRUE(ax.press(*item));
    EXPECT_EQ(fixture.readLine(), "activated") << "the submenu entry was pressed, not the item";
    ASSERT_TRUE(ax.press(*item)) << "the element stays valid for a second press";
    EXPECT_EQ(fixture.readLine(), "activated");
}

TEST(AtspiAccessibilityTest, InsensitiveItemReadsAsNotEnabled) {
    MenuFixture fixture;
    AtspiAccessibility ax;
    AxHandle bar = waitForMenuBar(ax, fixture.pid());
    ASSERT_NE(bar, nullptr);
    AxHandle edit = childTitled(ax, *bar, "Edit");
    ASSERT_NE(edit, nullptr);
    AxHandle greyed = childTitled(ax, *edit, "Greyed");
    ASSERT_NE(greyed, nullptr);
    EnabledRead enabled = ax.enabled(*greyed);
    EXPECT_EQ(enabled.outcome, EnabledRead::kValue);
    EXPECT_FALSE(enabled.value);
}

TEST(AtspiAccessibilityTest, ProcessesWithoutAnInterfaceAndGoneElementsFailQuietly) {
    AtspiAccessibility ax;
    EXPECT_EQ(ax.application(getpid()), nullptr);
    AxHandle item;
    {
        MenuFixture fixture;
        ASSERT_NE(waitForMenuBar(ax, fixture.pid()), nullptr);
        item = locateLumivoMenuItem(ax, fixture.pid());
        ASSERT_NE(item, nullptr);
    }
    // The fixture has quit: its element is a reference to nothing.
    EXPECT_EQ(ax.enabled(*item).outcome, EnabledRead::kError);
    EXPECT_FALSE(ax.press(*item));
    EXPECT_EQ(ax.children(*item), std::nullopt);
}

// Switching assistive technology on is remembered in the user's desktop settings, so this runs
// in a private session bus of its own whose settings live in memory: a test run never changes
// the settings of the user who runs it.
TEST(AtspiPermissionTest, ThePromptSwitchesAssistiveTechnologyOn) {
    if (std::getenv("LUMIVO_PRIVATE_A11Y_SESSION") == nullptr) {
        const std::string command =
            "LUMIVO_PRIVATE_A11Y_SESSION=1 GSETTINGS_BACKEND=memory dbus-run-session -- "
            "/proc/" +
            std::to_string(getpid()) +
            "/exe --gtest_filter=AtspiPermissionTest.ThePromptSwitchesAssistiveTechnologyOn "
            ">/dev/null 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return;
    }
    AtspiPermission permission;
    ASSERT_FALSE(permission.isHeld()) << "a fresh session starts with it off";
    permission.requestPrompt();
    EXPECT_TRUE(permission.isHeld());
}

}  // namespace
