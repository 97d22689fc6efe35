// The send announcement over the real session bus of the test run.
#include <gio/gio.h>
#include <gtest/gtest.h>

#include <vector>

#include "platform/linux/dbus_send_names.h"
#include "platform/linux/dbus_send_notifier.h"
#include "platform/linux/dbus_send_subscription.h"

namespace {

// Iterates the default main context until count announcements arrived or a generous limit.
void receive(std::vector<ReceivedAnnouncement>& got, size_t count) {
    const gint64 deadline = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
    while (got.size() < count && g_get_monotonic_time() < deadline) {
        g_main_context_iteration(nullptr, FALSE);
        g_usleep(1000);
    }
}

}  // namespace

TEST(SendSignal, PostedAnnouncementsArriveInOrderWithTheirTypesWhileSubscribed) {
    std::vector<ReceivedAnnouncement> got;
    std::unique_ptr<SendSubscription> subscription =
        subscribeToSend([&](const ReceivedAnnouncement& a) { got.push_back(a); });
    ASSERT_TRUE(subscription) << "no session bus";

    DbusSendNotifier notifier;
    ASSERT_TRUE(notifier.post({"/tmp/spool/host/input-1.png", true, 4242}));
    ASSERT_TRUE(notifier.post({"/tmp/spool/host/input-2.png", false, -1}));
    receive(got, 2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].input, "/tmp/spool/host/input-1.png");
    EXPECT_EQ(got[0].activate, true);
    EXPECT_EQ(got[0].hostPid, 4242);
    EXPECT_EQ(got[1].input, "/tmp/spool/host/input-2.png");
    EXPECT_EQ(got[1].activate, false);
    EXPECT_EQ(got[1].hostPid, -1);

    // Once the subscription ends its callback stays silent; a witness proves the signal went out.
    subscription.reset();
    std::vector<ReceivedAnnouncement> witnessed;
    std::unique_ptr<SendSubscription> witness =
        subscribeToSend([&](const ReceivedAnnouncement& a) { witnessed.push_back(a); });
    ASSERT_TRUE(notifier.post({"/x/input-3.png", true, 1}));
    receive(witnessed, 1);
    EXPECT_EQ(witnessed.size(), 1u);
    EXPECT_EQ(got.size(), 2u);
}

TEST(SendSignal, BodiesAreReadLoosely) {
    struct Case {
        const char* body;  // GVariant text of the signal body
        std::optional<std::string> input;
        std::optional<int64_t> hostPid;
        std::optional<bool> activate;
    };
    const Case cases[] = {
        {"({'input': <'/a/input-1.png'>, 'activate': <true>, 'hostPid': <7>},)", "/a/input-1.png",
         7, true},
        {"({'input': <int32 5>, 'activate': <int64 0>, 'hostPid': <uint32 9>},)", std::nullopt, 9,
         false},
        {"({'activate': <2.5>, 'hostPid': <12.0>},)", std::nullopt, 12, true},
        {"({'activate': <'yes'>, 'hostPid': <'12'>},)", std::nullopt, std::nullopt, std::nullopt},
        {"({'hostPid': <1e300>, 'activate': <byte 0>},)", std::nullopt, std::nullopt, false},
        {"('input',)", std::nullopt, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        GVariant* body = g_variant_parse(nullptr, c.body, nullptr, nullptr, nullptr);
        ASSERT_NE(body, nullptr) << c.body;
        g_variant_ref_sink(body);
        ReceivedAnnouncement got = parseSendBody(body);
        g_variant_unref(body);
        EXPECT_EQ(got.input, c.input) << c.body;
        EXPECT_EQ(got.hostPid, c.hostPid) << c.body;
        EXPECT_EQ(got.activate, c.activate) << c.body;
    }
}

TEST(SendSignal, PathsThatAreNotUtf8OrAMissingBusFailThePost) {
    DbusSendNotifier notifier;
    EXPECT_FALSE(notifier.post({"/tmp/\xff\xfe/input-1.png", true, 1}));
    EXPECT_FALSE(notifier.post({std::string("/tmp/a\0b/input-1.png", 20), true, 1}));

    const char* bus = g_getenv("DBUS_SESSION_BUS_ADDRESS");
    ASSERT_NE(bus, nullptr);
    const std::string saved = bus;
    g_setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/lumivo-bus", TRUE);
    EXPECT_FALSE(DbusSendNotifier().post({"/x/input-1.png", true, 1}));
    g_setenv("DBUS_SESSION_BUS_ADDRESS", saved.c_str(), TRUE);
}
