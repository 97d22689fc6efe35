// The AT-SPI adapter against a real GTK menu (tests/apply/menu_fixture.cpp) on the
// accessibility bus of the test's session.
#include "platform/linux/atspi_accessibility.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "fakes/fake_panel_window.h"
#include "fakes/fake_user_defaults.h"
#include "panel/app/accessibility_bookkeeping.h"
#include "panel/app/apply_menu_search.h"
#include "panel/panel_process.h"
#include "platform/linux/atspi_permission.h"
#include "plugin/temp_dir.h"

namespace {

// The fixture program (tests/apply/menu_fixture.cpp), ended when the object goes.
std::unique_ptr<ChildProcess> startFixture() {
    return std::make_unique<ChildProcess>(LUMIVO_MENU_FIXTURE, std::vector<std::string>{},
                                          std::vector<std::string>{}, STDOUT_FILENO);
}

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
    std::unique_ptr<ChildProcess> fixture = startFixture();
    ASSERT_GT(fixture->pid(), 0);
    AtspiAccessibility ax;
    AxHandle bar = waitForMenuBar(ax, fixture->pid());
    ASSERT_NE(bar, nullptr) << "the fixture never showed its menu";

    // The submenus stay closed: GTK publishes their items all the same.
    AxHandle item = locateLumivoMenuItem(ax, fixture->pid(), {});
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(ax.title(*item), "Lumivo");
    EnabledRead enabled = ax.enabled(*item);
    EXPECT_EQ(enabled.outcome, EnabledRead::kValue);
    EXPECT_TRUE(enabled.value);
    for (int press = 0; press < 2; ++press) {  // the element stays valid for a second press
        ASSERT_TRUE(ax.press(*item));
        EXPECT_EQ(fixture->readLine(std::chrono::seconds(5)), "activated")
            << "the submenu entry was pressed, not the item";
    }

    AxHandle edit = childTitled(ax, *bar, "Edit");
    ASSERT_NE(edit, nullptr);
    AxHandle greyed = childTitled(ax, *edit, "Greyed");
    ASSERT_NE(greyed, nullptr);
    enabled = ax.enabled(*greyed);  // insensitive
    EXPECT_EQ(enabled.outcome, EnabledRead::kValue);
    EXPECT_FALSE(enabled.value);
}

TEST(AtspiAccessibilityTest, ProcessesWithoutAnInterfaceAndGoneElementsFailQuietly) {
    AtspiAccessibility ax;
    EXPECT_EQ(ax.application(getpid()), nullptr);
    AxHandle item;
    {
        std::unique_ptr<ChildProcess> fixture = startFixture();
        ASSERT_GT(fixture->pid(), 0);
        ASSERT_NE(waitForMenuBar(ax, fixture->pid()), nullptr);
        item = locateLumivoMenuItem(ax, fixture->pid(), {});
        ASSERT_NE(item, nullptr);
    }
    // The fixture has quit: its element is a reference to nothing.
    EXPECT_EQ(ax.enabled(*item).outcome, EnabledRead::kError);
    EXPECT_FALSE(ax.press(*item));
    EXPECT_EQ(ax.children(*item), std::nullopt);
}

// Switching assistive technology on is remembered in the user's desktop settings, so this runs
// in a private session bus of its own whose settings live in memory: a test run never changes
// the settings of the user who runs it. Its accessibility bus gets a runtime folder of its own
// too: the bus's socket is named after the display, and the private bus, ending, would remove
// the socket of the shared session's bus on the same display.
TEST(AtspiPermissionTest, OnlyTheUsersYesSwitchesAssistiveTechnologyOn) {
    if (std::getenv("LUMIVO_PRIVATE_A11Y_SESSION") == nullptr) {
        TempDir runtime;
        const std::string command =
            "XDG_RUNTIME_DIR=" + runtime.path() +
            " LUMIVO_PRIVATE_A11Y_SESSION=1 GSETTINGS_BACKEND=memory dbus-run-session -- /proc/" +
            std::to_string(getpid()) +
            "/exe --gtest_filter=AtspiPermissionTest.OnlyTheUsersYesSwitchesAssistiveTechnologyOn "
            ">/dev/null 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return;
    }
    AtspiPermission permission;
    ASSERT_FALSE(permission.isHeld()) << "a fresh session starts with it off";
    FakeUserDefaults defaults;
    auto window = std::make_shared<FakePanelWindow>();
    AccessibilityBookkeeping bookkeeping(permission, defaults, "1.0", window);

    // Result applications, the first of a version included, leave the desktop as it is.
    EXPECT_EQ(bookkeeping.accessibilityStatusForApply(), "accessibility");
    EXPECT_EQ(bookkeeping.accessibilityStatusForApply(), "accessibility");
    EXPECT_FALSE(permission.isHeld());

    // A repair asks; a no changes nothing, a yes switches it on.
    std::vector<bool> answers;
    for (bool yes : {false, true}) {
        bookkeeping.repair([&answers](bool held) { answers.push_back(held); });
        ASSERT_EQ(window->unanswered.size(), 1u);
        EXPECT_FALSE(permission.isHeld());
        window->answer(yes);
        EXPECT_EQ(permission.isHeld(), yes);
    }
    EXPECT_EQ(answers, (std::vector<bool>{false, true}));
    EXPECT_NE(window->questions[0].details.find("whole desktop"), std::string::npos);
}

}  // namespace
