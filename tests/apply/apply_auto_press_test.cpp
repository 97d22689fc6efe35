#include "panel/app/apply_auto_press.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "apply/apply_test_support.h"
#include "fakes/fake_accessibility.h"

namespace {

constexpr pid_t kHost = 4242;

// A host editor with the menu bar Filters > Lumivo; pressing the item consumes the result file
// the way the plug-in does, unless `consumes` is false.
class AutoPressTest : public ::testing::Test {
  protected:
    void SetUp() override {
        writeText(result, "png");
        hostPid = kHost;
        apps.apps = {{kHost, "", ""}};
        ax.applications[kHost] = host();
        item = lastItem;
    }
    void TearDown() override {
        applier.reset();
        EXPECT_EQ(ax.liveHandles(), 0) << "an element reference leaked";
    }

    std::shared_ptr<FakeAxNode> host() {
        auto app = std::make_shared<FakeAxNode>();
        app->menuBar = std::make_shared<FakeAxNode>();
        FakeAxNode* filters = app->menuBar->add(FakeAxNode::titled("Filters"));
        lastItem = filters->add(FakeAxNode::titled("Lumivo"));
        lastItem->onPress = [this] {
            if (consumes) {
                std::filesystem::remove(result);
            }
        };
        return app;
    }

    std::optional<std::string> apply() { return applier->autoApplyAndAwaitConsumption(result); }

    TempDir dir;
    const std::string result = dir / "result-1.png";
    FakeAccessibility ax;
    FakeRunningApps apps;
    FakeWaitClock clock;
    std::atomic<int32_t> hostPid{0};
    std::optional<std::string> permission;  // what the permission check answers
    int permissionChecks = 0;
    bool consumes = true;
    FakeAxNode* lastItem = nullptr;
    FakeAxNode* item = nullptr;
    std::unique_ptr<AutoApplier> applier = std::make_unique<AutoApplier>(
        ax, apps, hostPid,
        [this] {
            ++permissionChecks;
            return permission;
        },
        clock.clock(), [this] { return handOffs; }, [this](pid_t) { return windows; });
    uint64_t handOffs = 0;             // pictures handed over to the panel so far
    std::vector<std::string> windows;  // the host's window titles, the highest stacked first
};

TEST_F(AutoPressTest, APressConsumedAtOnceOrAFileAlreadyGoneGivesNoStatus) {
    EXPECT_EQ(apply(), std::nullopt);
    EXPECT_EQ(item->presses, 1);
    EXPECT_EQ(clock.sleeps, 0) << "the first check follows the press without a sleep";

    std::filesystem::remove(result);  // gone before the press: nothing is touched
    EXPECT_EQ(apply(), std::nullopt);
    EXPECT_EQ(permissionChecks, 1);
    EXPECT_EQ(ax.applicationLookups, 1);
}

TEST_F(AutoPressTest, ConsumptionIsPolledEvery200msForTenSeconds) {
    consumes = false;
    clock.onSleep = [this] {
        if (clock.sleeps == 7) {
            std::filesystem::remove(result);
        }
    };
    EXPECT_EQ(apply(), std::nullopt);
    EXPECT_EQ(clock.sleeps, 7);

    writeText(result, "png");
    clock.onSleep = nullptr;
    clock.sleeps = 0;
    EXPECT_EQ(apply(), apply_status::kTimeout);
    EXPECT_NEAR(clock.sleeps, 50, 1);
    EXPECT_TRUE(std::filesystem::exists(result)) << "the panel never deletes a result file";
}

TEST_F(AutoPressTest, ARunThatHandsItsPictureOverInsteadEndsTheWaitAtOnce) {
    struct Case {
        const char* label;
        bool handsOver;  // the run the press starts hands its picture to the panel
        bool consumes;   // ... or takes the result
        std::optional<std::string> expected;
        int sleeps;
    };
    const Case cases[] = {
        {"another picture in front", true, false, apply_status::kOtherPicture, 2},
        {"the result taken", false, true, std::nullopt, 2},
        // A hand-off that comes along with an applied result (another run of the user's) does
        // not hide that the result was taken.
        {"taken while another run handed over", true, true, std::nullopt, 2},
        {"nothing happens", false, false, apply_status::kTimeout, 50},
    };
    for (const Case& c : cases) {
        writeText(result, "png");
        consumes = false;
        clock.sleeps = 0;
        clock.onSleep = [&] {
            if (clock.sleeps != 2) {
                return;
            }
            handOffs += c.handsOver ? 1 : 0;
            if (c.consumes) {
                std::filesystem::remove(result);
            }
        };
        EXPECT_EQ(apply(), c.expected) << c.label;
        EXPECT_NEAR(clock.sleeps, c.sleeps, 1) << c.label;
        EXPECT_EQ(std::filesystem::exists(result), !c.consumes) << c.label;
    }
    // Hand-offs before the press are not this press's answer.
    writeText(result, "png");
    handOffs += 5;
    clock.onSleep = [this] {
        if (clock.sleeps == 3) {
            std::filesystem::remove(result);
        }
    };
    clock.sleeps = 0;
    EXPECT_EQ(apply(), std::nullopt);
}

TEST_F(AutoPressTest, PermissionThenTheHostAreCheckedBeforeAnyLookup) {
    hostPid = 0;
    permission = apply_status::kAccessibilityStale;
    EXPECT_EQ(apply(), apply_status::kAccessibilityStale);  // checked before the host
    permission.reset();
    for (int32_t pid : {0, -5}) {
        hostPid = pid;
        EXPECT_EQ(apply(), apply_status::kHostGone) << pid;
    }
    hostPid = kHost;
    apps.pollsToQuitAfterTerminate[kHost] = 0;
    apps.terminate(kHost);  // ended since
    EXPECT_EQ(apply(), apply_status::kHostGone);
    EXPECT_EQ(ax.applicationLookups, 0);
    EXPECT_EQ(item->presses, 0);
}

TEST_F(AutoPressTest, MissingMenuOrItemIsMenuMissing) {
    ax.applications[kHost]->menuBar->children.clear();
    EXPECT_EQ(apply(), apply_status::kMenuMissing);
    ax.applications[kHost]->menuBar.reset();
    EXPECT_EQ(apply(), apply_status::kMenuMissing);
}

TEST_F(AutoPressTest, GreyedOutItemIsCachedAndReusedWithoutANewSearch) {
    for (EnabledRead state :
         {EnabledRead{EnabledRead::kValue, false}, EnabledRead{EnabledRead::kAbsent, false}}) {
        item->enabled = state;
        EXPECT_EQ(apply(), apply_status::kFilterDisabled);
    }
    EXPECT_EQ(ax.applicationLookups, 1);
    item->enabled = {EnabledRead::kValue, true};
    EXPECT_EQ(apply(), std::nullopt);
    EXPECT_EQ(ax.applicationLookups, 1);
    EXPECT_EQ(item->presses, 1);
}

TEST_F(AutoPressTest, InvalidCachedItemIsSearchedOnceMoreAndOnlyASecondFailureIsFinal) {
    item->pressFails = true;  // a freshly found item that fails is searched once more, too
    EXPECT_EQ(apply(), apply_status::kPressFailed);
    EXPECT_EQ(ax.applicationLookups, 2);
    item->pressFails = false;
    ax.applicationLookups = 0;
    EXPECT_EQ(apply(), std::nullopt);
    // The menu is rebuilt: the cached element can't be read any more.
    item->enabled = {EnabledRead::kError, false};
    ax.applications[kHost] = host();
    FakeAxNode* fresh = lastItem;
    writeText(result, "png");
    EXPECT_EQ(apply(), std::nullopt);
    EXPECT_EQ(ax.applicationLookups, 2);
    EXPECT_EQ(fresh->presses, 1);

    // Both the cached and the freshly found element fail to press.
    fresh->pressFails = true;
    ax.applications[kHost] = host();
    lastItem->pressFails = true;
    writeText(result, "png");
    EXPECT_EQ(apply(), apply_status::kPressFailed);
    EXPECT_EQ(ax.applicationLookups, 3);

    // Nothing is cached after the final failure: the next result searches at once.
    lastItem->pressFails = false;
    EXPECT_EQ(apply(), std::nullopt);
    EXPECT_EQ(ax.applicationLookups, 4);
}

TEST_F(AutoPressTest, ACachedItemThatLostItsTitleIsNeverPressed) {
    EXPECT_EQ(apply(), std::nullopt);
    std::vector<std::shared_ptr<FakeAxNode>> earlierMenus;  // their items are still looked at
    // The editor reused the element for another filter; the filter's item is elsewhere now.
    for (std::optional<std::string> title :
         {std::optional<std::string>("Optimize (for GIF)"), std::optional<std::string>()}) {
        item->title = title;
        earlierMenus.push_back(ax.applications[kHost]);
        ax.applications[kHost] = host();
        FakeAxNode* fresh = lastItem;
        writeText(result, "png");
        ax.applicationLookups = 0;
        EXPECT_EQ(apply(), std::nullopt);
        EXPECT_EQ(ax.applicationLookups, 1) << "one fresh search";
        EXPECT_EQ(fresh->presses, 1);
        EXPECT_EQ(item->presses, 1) << "the retitled element was pressed";
        item = fresh;
    }
    // No element bears the title any more: nothing is pressed.
    item->title = "Optimize (for GIF)";
    writeText(result, "png");
    EXPECT_EQ(apply(), apply_status::kMenuMissing);
    EXPECT_EQ(item->presses, 1);
}

TEST_F(AutoPressTest, TheCachedItemIsKeptOnlyWhileTheHostsWindowsStandInTheSameOrder) {
    // One window per image, each with its own menu: the item of the window in front is pressed.
    auto app = std::make_shared<FakeAxNode>();
    std::map<std::string, FakeAxNode*> items;
    for (const char* title : {"a – GIMP", "b – GIMP"}) {
        FakeAxNode* frame = app->add(FakeAxNode::titled(title));
        frame->menuBar = std::make_shared<FakeAxNode>();
        items[title] =
            frame->menuBar->add(FakeAxNode::titled("Filters"))->add(FakeAxNode::titled("Lumivo"));
        items[title]->onPress = [this] { std::filesystem::remove(result); };
    }
    ax.applications[kHost] = app;
    struct Step {
        std::vector<std::string> windows;
        const char* pressed;
        int lookups;  // application lookups so far
    };
    const Step steps[] = {
        {{"b – GIMP", "a – GIMP"}, "b – GIMP", 1},
        {{"b – GIMP", "a – GIMP"}, "b – GIMP", 1},  // the same order: the kept item
        {{"a – GIMP", "b – GIMP"}, "a – GIMP", 2},  // the user turned to a
        {{"b – GIMP", "a – GIMP"}, "b – GIMP", 3},
    };
    int presses = 0;
    for (const Step& step : steps) {
        windows = step.windows;
        writeText(result, "png");
        EXPECT_EQ(apply(), std::nullopt);
        EXPECT_EQ(ax.applicationLookups, step.lookups);
        ++presses;
        EXPECT_EQ(items["a – GIMP"]->presses + items["b – GIMP"]->presses, presses);
        EXPECT_EQ(items[step.pressed]->presses,
                  std::count_if(steps, &step + 1,
                                [&step](const Step& each) {
                                    return std::string(each.pressed) == step.pressed;
                                }))
            << "window in front: " << step.windows[0];
    }
}

TEST_F(AutoPressTest, NewHostProcessDropsTheCachedItem) {
    EXPECT_EQ(apply(), std::nullopt);
    constexpr pid_t kRestarted = 5151;
    ax.applications[kRestarted] = host();
    FakeAxNode* restartedItem = lastItem;
    apps.apps.push_back({kRestarted, "", ""});
    hostPid = kRestarted;
    writeText(result, "png");
    EXPECT_EQ(apply(), std::nullopt);
    EXPECT_EQ(restartedItem->presses, 1);
    EXPECT_EQ(item->presses, 1);
}

}  // namespace
