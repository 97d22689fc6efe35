#include "panel/app/accessibility_bookkeeping.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "fakes/fake_accessibility_permission.h"
#include "fakes/fake_panel_window.h"
#include "fakes/fake_user_defaults.h"

namespace {

constexpr char kVersion[] = "2.1";
constexpr auto kPromptedKey = AccessibilityBookkeeping::kPromptedVersionKey;
constexpr auto kObservedKey = AccessibilityBookkeeping::kGrantObservedKey;

TEST(AccessibilityBookkeepingTest, ApplyTimeCheckFollowsThePermissionTable) {
    struct Row {
        bool held;
        bool observed;
        std::optional<std::string> storedVersion;
        std::optional<std::string> status;
        bool prompts;
    };
    const Row rows[] = {
        {true, false, std::nullopt, std::nullopt, false},
        {true, true, "1.0", std::nullopt, false},
        {false, true, std::nullopt, "accessibility-stale", false},
        {false, true, "1.0", "accessibility-stale", false},
        {false, false, std::nullopt, "accessibility", true},
        {false, false, "1.0", "accessibility", true},
        {false, false, kVersion, "accessibility", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << "held " << row.held << " observed " << row.observed
                                          << " stored " << row.storedVersion.value_or("(none)"));
        FakeAccessibilityPermission permission;
        FakeUserDefaults defaults;
        permission.held = row.held;
        if (row.observed) {
            defaults.setBool(kObservedKey, true);
        }
        if (row.storedVersion) {
            defaults.setString(kPromptedKey, *row.storedVersion);
        }
        AccessibilityBookkeeping bookkeeping(permission, defaults, kVersion);

        EXPECT_EQ(bookkeeping.accessibilityStatusForApply(), row.status);
        EXPECT_EQ(permission.prompts, row.prompts ? 1 : 0);
        EXPECT_EQ(defaults.boolForKey(kObservedKey), row.held || row.observed);
        EXPECT_EQ(defaults.stringForKey(kPromptedKey),
                  row.prompts ? std::optional<std::string>(kVersion) : row.storedVersion);
        EXPECT_EQ(permission.settingsOpened, 0);
        EXPECT_EQ(permission.switchOns, 0) << "an apply never switches anything on";
    }
}

TEST(AccessibilityBookkeepingTest, PromptIsRequestedOncePerVersionUntilARepairReArmsIt) {
    FakeAccessibilityPermission permission;
    FakeUserDefaults defaults;
    AccessibilityBookkeeping bookkeeping(permission, defaults, "");

    EXPECT_EQ(bookkeeping.accessibilityStatusForApply(), "accessibility");
    EXPECT_EQ(bookkeeping.accessibilityStatusForApply(), "accessibility");
    EXPECT_EQ(permission.prompts, 1);
    EXPECT_EQ(defaults.stringForKey(kPromptedKey), "") << "no version stores the empty string";

    bookkeeping.repair([](bool) {});
    EXPECT_EQ(defaults.stringForKey(kPromptedKey), std::nullopt);
    EXPECT_EQ(bookkeeping.accessibilityStatusForApply(), "accessibility");
    EXPECT_EQ(permission.prompts, 2);

    AccessibilityBookkeeping updated(permission, defaults, "3.0");
    EXPECT_EQ(updated.accessibilityStatusForApply(), "accessibility");
    EXPECT_EQ(permission.prompts, 3) << "a new version asks once more";
    EXPECT_EQ(permission.switchOns, 0);
}

TEST(AccessibilityBookkeepingTest, RepairSwitchesOnOnlyAfterTheUsersYes) {
    enum class User { absent, no, yes };  // absent: no window to ask in
    struct Row {
        const char* what;
        bool held;
        User user;
        bool switchingWorks;
        bool asked;
        int switchOns;
        int settingsOpened;
        bool answer;
    };
    const Row rows[] = {
        {"held already", true, User::yes, true, false, 0, 0, true},
        {"no window", false, User::absent, true, false, 0, 0, false},
        {"the user says no", false, User::no, true, true, 0, 0, false},
        {"the user says yes", false, User::yes, true, true, 1, 0, true},
        {"yes, but the desktop refuses", false, User::yes, false, true, 1, 1, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        FakeAccessibilityPermission permission;
        FakeUserDefaults defaults;
        auto window = std::make_shared<FakePanelWindow>();
        permission.held = row.held;
        permission.switchingWorks = row.switchingWorks;
        defaults.setString(kPromptedKey, kVersion);
        AccessibilityBookkeeping bookkeeping(
            permission, defaults, kVersion,
            row.user == User::absent ? std::weak_ptr<PanelWindow>() : window);

        std::vector<bool> answers;
        bookkeeping.repair([&answers](bool held) { answers.push_back(held); });
        EXPECT_EQ(defaults.stringForKey(kPromptedKey), std::nullopt) << "re-armed at once";
        ASSERT_EQ(window->questions.size(), row.asked ? 1u : 0u);
        if (row.asked) {
            EXPECT_TRUE(answers.empty()) << "nothing is answered before the user is";
            EXPECT_EQ(permission.switchOns, 0) << "nothing changes before the user's yes";
            EXPECT_EQ(window->questions[0].text, "The whole desktop changes.");
            window->answer(row.user == User::yes);
        }
        EXPECT_EQ(answers, std::vector<bool>{row.answer});
        EXPECT_EQ(permission.switchOns, row.switchOns);
        EXPECT_EQ(permission.settingsOpened, row.settingsOpened);
        EXPECT_EQ(permission.prompts, 0);
        EXPECT_EQ(defaults.boolForKey(kObservedKey), row.answer);
    }
}

TEST(AccessibilityBookkeepingTest, RepeatedRepairsShareOneQuestionAndCantPileUp) {
    FakeAccessibilityPermission permission;
    FakeUserDefaults defaults;
    auto window = std::make_shared<FakePanelWindow>();
    AccessibilityBookkeeping bookkeeping(permission, defaults, kVersion, window);
    std::vector<bool> answers;
    const size_t sent = AccessibilityBookkeeping::kMaxWaitingRepairs + 3;
    for (size_t i = 0; i < sent; ++i) {
        bookkeeping.repair([&answers](bool held) { answers.push_back(held); });
    }
    EXPECT_EQ(window->questions.size(), 1u);
    EXPECT_EQ(answers, std::vector<bool>(3, false)) << "beyond the bound: answered as it is";
    window->answer(true);
    EXPECT_EQ(answers.size(), sent);
    EXPECT_EQ(std::count(answers.begin(), answers.end(), true),
              static_cast<long>(AccessibilityBookkeeping::kMaxWaitingRepairs));
    EXPECT_EQ(permission.switchOns, 1);

    // The next request finds the permission held and asks nothing.
    bookkeeping.repair([&answers](bool held) { answers.push_back(held); });
    EXPECT_TRUE(answers.back());
    EXPECT_EQ(window->questions.size(), 1u);
}

}  // namespace
