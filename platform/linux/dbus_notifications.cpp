#include "platform/linux/dbus_notifications.h"

#include <memory>

namespace {

constexpr char kName[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";
constexpr char kInterface[] = "org.freedesktop.Notifications";
constexpr char kAppName[] = "LumivoAffinity";

template <typename Callback>
struct Pending {
    DbusNotifications* self;
    Callback callback;
};

// Reply of a call whose owner may be gone: a cancelled call must not touch it.
GVariant* finish(GObject* source, GAsyncResult* result, bool* cancelled) {
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
    *cancelled = error != nullptr && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
    g_clear_error(&error);
    return reply;
}

}  // namespace

std::string randomUuid() {
    gchar* text = g_uuid_string_random();
    std::string uuid(text);
    g_free(text);
    return uuid;
}

DbusNotifications::DbusNotifications(GDBusConnection* connection)
    : cancellable_(g_cancellable_new()) {
    if (connection != nullptr) {
        connection_ = G_DBUS_CONNECTION(g_object_ref(connection));
        triedBus_ = true;
    }
}

DbusNotifications::~DbusNotifications() {
    g_cancellable_cancel(cancellable_);
    if (connection_ != nullptr) {
        if (actionSubscription_ != 0) {
            g_dbus_connection_signal_unsubscribe(connection_, actionSubscription_);
        }
        if (closedSubscription_ != 0) {
            g_dbus_connection_signal_unsubscribe(connection_, closedSubscription_);
        }
        g_object_unref(connection_);
    }
    g_object_unref(cancellable_);
}

GDBusConnection* DbusNotifications::connection() {
    if (!triedBus_) {
        triedBus_ = true;
        connection_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    }
    return connection_;
}

void DbusNotifications::requestAuthorization(std::function<void(bool granted)> done) {
    GDBusConnection* bus = connection();
    if (bus == nullptr) {
        // Still answered later, as with a server: refused, from the main loop.
        auto* later = new std::function<void(bool)>(std::move(done));
        g_idle_add_full(
            G_PRIORITY_DEFAULT,
            [](gpointer data) -> gboolean {
                (*static_cast<std::function<void(bool)>*>(data))(false);
                return G_SOURCE_REMOVE;
            },
            later, [](gpointer data) { delete static_cast<std::function<void(bool)>*>(data); });
        return;
    }
    using Request = Pending<std::function<void(bool)>>;
    auto* request = new Request{this, std::move(done)};
    g_dbus_connection_call(
        bus, kName, kPath, kInterface, "GetCapabilities", nullptr, G_VARIANT_TYPE("(as)"),
        G_DBUS_CALL_FLAGS_NONE, -1, cancellable_,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<Request> request(static_cast<Request*>(data));
            bool cancelled = false;
            GVariant* reply = finish(source, result, &cancelled);
            if (cancelled) {
                return;
            }
            if (reply != nullptr) {
                GVariant* capabilities = g_variant_get_child_value(reply, 0);
                const gchar** names = g_variant_get_strv(capabilities, nullptr);
                bool markup = false;
                for (const gchar** name = names; name != nullptr && *name != nullptr; ++name) {
                    markup = markup || g_strcmp0(*name, "body-markup") == 0;
                }
                g_free(names);
                g_variant_unref(capabilities);
                g_variant_unref(reply);
                request->self->bodyMarkup_ = markup;
            }
            request->callback(reply != nullptr);
        },
        request);
}

void DbusNotifications::add(const DesktopNotification& notification) {
    GDBusConnection* bus = connection();
    if (bus == nullptr) {
        return;
    }
    // Until the server has named the notification with this identifier, a newer one waits: sent
    // now, it could not say which notification it replaces and both would show.
    auto inFlight = waiting_.find(notification.identifier);
    if (inFlight != waiting_.end()) {
        inFlight->second = notification;
        return;
    }
    waiting_.emplace(notification.identifier, std::nullopt);
    const auto known = idByIdentifier_.find(notification.identifier);
    const uint32_t replaces = known == idByIdentifier_.end() ? 0 : known->second;
    // A server that reads markup in the body would otherwise take the page's text as markup.
    gchar* body = bodyMarkup_ ? g_markup_escape_text(notification.body.c_str(), -1)
                              : g_strdup(notification.body.c_str());
    GVariantBuilder actions;
    g_variant_builder_init(&actions, G_VARIANT_TYPE("as"));
    g_variant_builder_add(&actions, "s", "default");
    g_variant_builder_add(&actions, "s", "Open");
    GVariantBuilder hints;
    g_variant_builder_init(&hints, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&hints, "{sv}", "sound-name",
                          g_variant_new_string("message-new-instant"));
    GVariant* parameters = g_variant_new("(susssasa{sv}i)", kAppName, replaces, "",
                                         notification.title.c_str(), body, &actions, &hints, -1);
    g_free(body);

    using Request = Pending<std::pair<std::string, std::string>>;
    auto* request = new Request{this, {notification.identifier, notification.creationId}};
    g_dbus_connection_call(
        bus, kName, kPath, kInterface, "Notify", parameters, G_VARIANT_TYPE("(u)"),
        G_DBUS_CALL_FLAGS_NONE, -1, cancellable_,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<Request> request(static_cast<Request*>(data));
            bool cancelled = false;
            GVariant* reply = finish(source, result, &cancelled);
            if (cancelled) {
                return;
            }
            guint32 id = 0;
            if (reply != nullptr) {
                g_variant_get(reply, "(u)", &id);
                g_variant_unref(reply);
            }
            request->self->posted(request->callback.first, request->callback.second, id);
        },
        request);
}

void DbusNotifications::posted(const std::string& identifier, const std::string& creationId,
                               uint32_t id) {
    std::optional<DesktopNotification> next;
    if (auto waiting = waiting_.find(identifier); waiting != waiting_.end()) {
        next = std::move(waiting->second);
        waiting_.erase(waiting);
    }
    if (id != 0) {
        remember(identifier, creationId, id);
    }
    if (next) {
        add(*next);
    }
}

void DbusNotifications::remember(const std::string& identifier, const std::string& creationId,
                                 uint32_t id) {
    auto previous = idByIdentifier_.find(identifier);
    if (previous != idByIdentifier_.end() && previous->second != id) {
        creationById_.erase(previous->second);
        identifierById_.erase(previous->second);
    }
    idByIdentifier_[identifier] = id;
    creationById_[id] = creationId;
    identifierById_[id] = identifier;
}

void DbusNotifications::setClickHandler(std::function<void(std::string creationId)> onClick) {
    onClick_ = std::move(onClick);
    GDBusConnection* bus = connection();
    if (bus == nullptr || actionSubscription_ != 0) {
        return;
    }
    actionSubscription_ = g_dbus_connection_signal_subscribe(
        bus, kName, kInterface, "ActionInvoked", kPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        &DbusNotifications::onSignal, this, nullptr);
    closedSubscription_ = g_dbus_connection_signal_subscribe(
        bus, kName, kInterface, "NotificationClosed", kPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        &DbusNotifications::onSignal, this, nullptr);
}

void DbusNotifications::onSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                 const gchar* signal, GVariant* parameters, gpointer data) {
    auto* self = static_cast<DbusNotifications*>(data);
    if (g_strcmp0(signal, "NotificationClosed") == 0) {
        if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(uu)"))) {
            return;
        }
        guint32 id = 0;
        guint32 reason = 0;
        g_variant_get(parameters, "(uu)", &id, &reason);
        auto identifier = self->identifierById_.find(id);
        if (identifier != self->identifierById_.end()) {
            self->idByIdentifier_.erase(identifier->second);
            self->identifierById_.erase(identifier);
        }
        self->creationById_.erase(id);
        return;
    }
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(us)"))) {
        return;
    }
    guint32 id = 0;
    const gchar* action = nullptr;
    g_variant_get(parameters, "(u&s)", &id, &action);
    if (g_strcmp0(action, "default") != 0) {
        return;
    }
    // Only this run's notifications: the signal may be broadcast to every client of the server.
    auto found = self->creationById_.find(id);
    if (found == self->creationById_.end() || !self->onClick_) {
        return;
    }
    std::string creationId = found->second;
    self->onClick_(creationId);
}
