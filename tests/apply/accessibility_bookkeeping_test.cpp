#include "panel/app/accessibility_bookkeeping.h"

#include <gtest/gtest.h>

#include "fakes/fake_accessibility_permission.h"
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

    EXPECT_FALSE(bookkeeping.repair());
    EXPECT_EQ(permission.prompts, 2);
    EXPECT_EQ(defaults.stringForKey(kPromptedKey), std::nullopt);
    EXPECT_EQ(bookkeeping.accessibilityStatusForApply(), "accessibility");
    EXPECT_EQ(permission.prompts, 3);

    AccessibilityBookkeeping updated(permission, defaults, "3.0");
    EXPECT_EQ(updated.accessibilityStatusForApply(), "accessibility");
    EXPECT_EQ(permission.prompts, 4) << "a new version asks once more";
}

TEST(AccessibilityBookkeepingTest, RepairRemovesTheStoredVersionWhateverThePermission) {
    FakeAccessibilityPermission permission;
    FakeUserDefaults defaults;
    AccessibilityBookkeeping bookkeeping(permission, defaults, kVersion);

    // Held: answers true, opens nothing, records the grant.
    permission.held = true;
    defaults.setString(kPromptedKey, kVersion);
    EXPECT_TRUE(bookkeeping.repair());
    EXPECT_EQ(defaults.stringForKey(kPromptedKey), std::nullopt);
    EXPECT_TRUE(defaults.boolForKey(kObservedKey));
    EXPECT_EQ(permission.prompts + permission.settingsOpened, 0);

    // Missing: prompts and opens the settings every time; the grant record stays.
    permission.held = false;
    for (int i = 1; i <= 2; ++i) {
        defaults.setString(kPromptedKey, kVersion);
        EXPECT_FALSE(bookkeeping.repair());
        EXPECT_EQ(defaults.stringForKey(kPromptedKey), std::nullopt);
        EXPECT_EQ(permission.prompts, i);
        EXPECT_EQ(permission.settingsOpened, i);
    }
    EXPECT_TRUE(defaults.boolForKey(kObservedKey));

    // No settings program: the repair still prompts and answers.
    permission.settingsAvailable = false;
    EXPECT_FALSE(bookkeeping.repair());
    EXPECT_EQ(permission.prompts, 3);
}

}  // namespace
