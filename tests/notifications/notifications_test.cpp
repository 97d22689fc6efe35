#include <gtest/gtest.h>

#include <string>

#include "fakes/fake_desktop_notifications.h"
#include "fakes/fake_page_caller.h"
#include "fakes/manual_queue.h"
#include "panel/bridge/notifications.h"

namespace {

using nlohmann::json;

std::string repeated(const std::string& unit, size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        out += unit;
    }
    return out;
}

struct NotificationTest : ::testing::Test {
    FakePageCaller page;
    ManualQueue main;
    FakeDesktopNotifications* centre = new FakeDesktopNotifications;
    int presented = 0;
    std::vector<std::string> order;
    NotificationModule module{page, main, std::unique_ptr<DesktopNotifications>(centre),
                              [this] {
                                  ++presented;
                                  order.push_back("present");
                              },
                              [] { return std::string("123e4567-e89b-42d3-a456-426614174000"); }};

    void notify(const json& id, const json& title, const json& body, bool granted = true) {
        module.handleNotify(id, title, body);
        centre->authorise(granted);
    }
};

TEST(NotificationCuts, CountUtf16CodeUnits) {
    const std::string emoji = "\xf0\x9f\x98\x80";  // two code units
    const std::string e = "\xc3\xa9";              // one code unit, two bytes
    EXPECT_EQ(cutUtf16(repeated("a", 250), 200), repeated("a", 200));
    EXPECT_EQ(cutUtf16(repeated("a", 500), 500), repeated("a", 500));
    EXPECT_EQ(cutUtf16(repeated(e, 130), 120), repeated(e, 120));
    EXPECT_EQ(cutUtf16(repeated(emoji, 100), 120), repeated(emoji, 60));
    // A pair that would be split is left out whole.
    EXPECT_EQ(cutUtf16("a" + repeated(emoji, 5), 4), "a" + emoji);
    EXPECT_EQ(cutUtf16("", 10), "");
    EXPECT_EQ(cutUtf16("ok\xff", 10), "ok\xef\xbf\xbd");  // invalid bytes become U+FFFD
}

TEST(NotificationCuts, ClickFilterKeepsOnlyTheSafeCharacters) {
    EXPECT_EQ(filterCreationId("abc-XYZ_019"), "abc-XYZ_019");
    EXPECT_EQ(filterCreationId("a b/c.d\\e\"f'g<h>\xc3\xa9i\n"), "abcdefghi");
    EXPECT_EQ(filterCreationId("</script>"), "script");
    EXPECT_EQ(filterCreationId(""), "");
}

TEST_F(NotificationTest, InvalidOrUnauthorisedRequestsShowNothing) {
    notify("id", "", "body");
    notify(5, "Title", "body");
    notify("id", json::array(), "body");
    notify("id", "Title", nullptr);
    EXPECT_TRUE(centre->shown.empty());
    EXPECT_EQ(centre->clickHandlerSets, 0);

    notify("x", "Title", "", /*granted=*/false);  // authorisation refused
    EXPECT_TRUE(centre->shown.empty());
    main.drain();
    EXPECT_TRUE(page.taken().empty());
}

TEST_F(NotificationTest, ShowsTheCutTextsUnderTheCreationId) {
    notify(repeated("c", 130), repeated("t", 250), repeated("b", 500));
    ASSERT_EQ(centre->shown.size(), 1u);
    const DesktopNotification& shown = centre->shown[0];
    EXPECT_EQ(shown.creationId, repeated("c", 120));
    EXPECT_EQ(shown.identifier, "lumivo-" + repeated("c", 120));
    EXPECT_EQ(shown.title, repeated("t", 200));
    EXPECT_EQ(shown.body, repeated("b", 500));
}

TEST_F(NotificationTest, TheSameIdReplacesTheEarlierNotificationAndNoIdGetsAFreshUuid) {
    notify("same", "First", "");
    notify("same", "Second", "");
    notify("", "Done", "");
    ASSERT_EQ(centre->shown.size(), 2u);
    EXPECT_EQ(centre->shown[0].title, "Second");
    EXPECT_EQ(centre->shown[1].identifier, "lumivo-123e4567-e89b-42d3-a456-426614174000");
    EXPECT_EQ(centre->shown[1].creationId, "");
}

TEST_F(NotificationTest, AClickPresentsThePanelThenCallsThePage) {
    EXPECT_FALSE(centre->onClick);  // no click reaches the page before the first notify
    notify("a b/c", "Title", "");
    ASSERT_TRUE(centre->onClick);
    centre->onClick("a b/c.\xc3\xa9-d_e");
    EXPECT_EQ(presented, 0);  // both happen later, on the main queue
    EXPECT_TRUE(page.taken().empty());
    main.drain();
    EXPECT_EQ(presented, 1);
    auto calls = page.taken();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].name, "__lumivoNotificationClick");
    EXPECT_EQ(calls[0].arguments, json::array({"abc-d_e"}));

    centre->onClick("");  // a notification without a creation id
    main.drain();
    EXPECT_EQ(page.taken()[0].arguments, json::array({""}));
}

}  // namespace
