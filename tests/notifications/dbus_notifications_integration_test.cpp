#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fakes/fake_page_caller.h"
#include "fakes/manual_queue.h"
#include "panel/bridge/notifications.h"
#include "platform/linux/dbus_notifications.h"
#include "service/test_processes.h"

namespace {

using namespace test_processes;
using nlohmann::json;

constexpr char kIntrospection[] = R"(<node>
  <interface name="org.freedesktop.Notifications">
    <method name="GetCapabilities"><arg direction="out" type="as"/></method>
    <method name="Notify">
      <arg direction="in" type="s"/><arg direction="in" type="u"/><arg direction="in" type="s"/>
      <arg direction="in" type="s"/><arg direction="in" type="s"/><arg direction="in" type="as"/>
      <arg direction="in" type="a{sv}"/><arg direction="in" type="i"/>
      <arg direction="out" type="u"/>
    </method>
    <signal name="ActionInvoked"><arg type="u"/><arg type="s"/></signal>
    <signal name="NotificationClosed"><arg type="u"/><arg type="u"/></signal>
  </interface>
</node>)";

// A notification server on the private bus that records every Notify call.
class RecordingServer {
  public:
    struct Notify {
        std::string app;
        uint32_t replaces;
        std::string summary;
        std::string body;
        std::vector<std::string> actions;
        std::string soundName;
    };
    std::vector<Notify> calls;

    bool start() {
        GError* error = nullptr;
        connection_ = g_dbus_connection_new_for_address_sync(
            PrivateBus::get().address().c_str(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, &error);
        g_clear_error(&error);
        if (connection_ == nullptr) {
            return false;
        }
        g_dbus_connection_set_exit_on_close(connection_, FALSE);
        node_ = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
        static const GDBusInterfaceVTable vtable = {&RecordingServer::onCall, nullptr, nullptr, {}};
        registration_ = g_dbus_connection_register_object(
            connection_, "/org/freedesktop/Notifications", node_->interfaces[0], &vtable, this,
            nullptr, nullptr);
        GVariant* reply = g_dbus_connection_call_sync(
            connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "RequestName", g_variant_new("(su)", "org.freedesktop.Notifications", 4u),
            G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
        if (reply == nullptr) {
            return false;
        }
        guint32 result = 0;
        g_variant_get(reply, "(u)", &result);
        g_variant_unref(reply);
        return result == 1;  // the primary owner
    }

    ~RecordingServer() {
        if (connection_ != nullptr) {
            g_dbus_connection_unregister_object(connection_, registration_);
            g_dbus_connection_close_sync(connection_, nullptr, nullptr);
            g_object_unref(connection_);
        }
        if (node_ != nullptr) {
            g_dbus_node_info_unref(node_);
        }
    }

    void emit(const char* signal, GVariant* parameters) {
        g_dbus_connection_emit_signal(connection_, nullptr, "/org/freedesktop/Notifications",
                                      "org.freedesktop.Notifications", signal, parameters, nullptr);
        g_dbus_connection_flush_sync(connection_, nullptr, nullptr);
    }

  private:
    static void onCall(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                       const gchar* method, GVariant* parameters, GDBusMethodInvocation* invocation,
                       gpointer data) {
        auto* self = static_cast<RecordingServer*>(data);
        if (g_strcmp0(method, "GetCapabilities") == 0) {
            const gchar* capabilities[] = {"actions", "body", "body-markup", "sound", nullptr};
            g_dbus_method_invocation_return_value(invocation, g_variant_new("(^as)", capabilities));
            return;
        }
        Notify call;
        const gchar *app, *icon, *summary, *body;
        gchar** actions = nullptr;
        GVariant* hints = nullptr;
        gint32 timeout = 0;
        g_variant_get(parameters, "(&su&s&s&s^as@a{sv}i)", &app, &call.replaces, &icon, &summary,
                      &body, &actions, &hints, &timeout);
        call.app = app;
        call.summary = summary;
        call.body = body;
        call.actions.assign(actions, actions + g_strv_length(actions));
        g_strfreev(actions);
        const gchar* sound = nullptr;
        if (g_variant_lookup(hints, "sound-name", "&s", &sound)) {
            call.soundName = sound;
        }
        g_variant_unref(hints);
        self->calls.push_back(call);
        const guint32 id = call.replaces != 0 ? call.replaces : ++self->lastId_;
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(u)", id));
    }

    GDBusConnection* connection_ = nullptr;
    GDBusNodeInfo* node_ = nullptr;
    guint registration_ = 0;
    guint32 lastId_ = 40;
};

struct DbusNotificationsTest : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(PrivateBus::get().ok());
        ASSERT_TRUE(server.start());
        module = makeNotificationModule(page, main, [this] { ++presented; });
    }

    void notifyAndWait(const json& id, const json& title, const json& body) {
        const size_t before = server.calls.size();
        module->handleNotify(id, title, body);
        ASSERT_TRUE(waitUntil([&] { return server.calls.size() > before; }));
    }

    // Lets the bus deliver what is under way: a round trip through the server.
    void settle() {
        const size_t before = server.calls.size();
        module->handleNotify("settle", "settle", "");
        ASSERT_TRUE(waitUntil([&] { return server.calls.size() > before; }));
    }

    RecordingServer server;
    FakePageCaller page;
    ManualQueue main;
    int presented = 0;
    std::unique_ptr<NotificationModule> module;
};

TEST_F(DbusNotificationsTest, PostsWithTheDefaultActionSoundAndEscapedBody) {
    notifyAndWait("c1", "Your image is ready", "Open <b>it</b> & see");
    const auto& call = server.calls.back();
    EXPECT_EQ(call.app, "LumivoAffinity");
    EXPECT_EQ(call.replaces, 0u);
    EXPECT_EQ(call.summary, "Your image is ready");
    EXPECT_EQ(call.body, "Open &lt;b&gt;it&lt;/b&gt; &amp; see");  // the server reads markup
    EXPECT_EQ(call.actions, (std::vector<std::string>{"default", "Open"}));
    EXPECT_EQ(call.soundName, "message-new-instant");
}

TEST_F(DbusNotificationsTest, TheSameIdReplacesTheFirstEvenBeforeItIsNamed) {
    module->handleNotify("burst", "One", "");
    module->handleNotify("burst", "Two", "");
    module->handleNotify("burst", "Three", "");
    ASSERT_TRUE(waitUntil([&] { return server.calls.size() == 2; }));
    settle();
    ASSERT_EQ(server.calls.size(), 3u);  // "Two" was overtaken by "Three" while it waited
    EXPECT_EQ(server.calls[0].summary, "One");
    EXPECT_EQ(server.calls[1].summary, "Three");
    EXPECT_EQ(server.calls[1].replaces, 41u);

    notifyAndWait("burst", "Four", "");  // once named
    EXPECT_EQ(server.calls.back().replaces, 41u);
    notifyAndWait("other", "Five", "");
    EXPECT_EQ(server.calls.back().replaces, 0u);
}

TEST_F(DbusNotificationsTest, OnlyTheDefaultActionOfALiveNotificationReachesThePage) {
    notifyAndWait("creation-1", "Done", "");
    server.emit("ActionInvoked", g_variant_new("(us)", 999u, "default"));  // not ours
    server.emit("ActionInvoked", g_variant_new("(us)", 41u, "other"));
    server.emit("ActionInvoked", g_variant_new("(us)", 41u, "default"));
    ASSERT_TRUE(waitUntil([&] { return main.pending() > 0; }));
    settle();
    main.drain();
    EXPECT_EQ(presented, 1);
    auto calls = page.taken();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].name, "__lumivoNotificationClick");
    EXPECT_EQ(calls[0].arguments, json::array({"creation-1"}));

    server.emit("NotificationClosed", g_variant_new("(uu)", 41u, 2u));
    server.emit("ActionInvoked", g_variant_new("(us)", 41u, "default"));  // closed by now
    settle();
    main.drain();
    EXPECT_EQ(presented, 1);
    EXPECT_TRUE(page.taken().empty());
}

}  // namespace
