#include "platform/linux/dbus_send_subscription.h"

#include <cmath>
#include <optional>

#include "platform/linux/dbus_send_names.h"

namespace {

std::optional<int64_t> integerOf(GVariant* value) {
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_BYTE)) {
        return g_variant_get_byte(value);
    }
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_INT16)) {
        return g_variant_get_int16(value);
    }
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_UINT16)) {
        return g_variant_get_uint16(value);
    }
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_INT32)) {
        return g_variant_get_int32(value);
    }
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_UINT32)) {
        return g_variant_get_uint32(value);
    }
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_INT64)) {
        return g_variant_get_int64(value);
    }
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_UINT64)) {
        guint64 number = g_variant_get_uint64(value);
        if (number > static_cast<guint64>(INT64_MAX)) {
            return std::nullopt;
        }
        return static_cast<int64_t>(number);
    }
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_DOUBLE)) {
        double number = g_variant_get_double(value);
        // Out-of-range doubles have no integer value; converting them would be undefined.
        if (!std::isfinite(number) || number <= -9.2e18 || number >= 9.2e18) {
            return std::nullopt;
        }
        return static_cast<int64_t>(number);
    }
    return std::nullopt;
}

class DbusSendSubscription final : public SendSubscription {
  public:
    DbusSendSubscription(GDBusConnection* connection, SendHandler handler)
        : connection_(connection), handler_(std::move(handler)) {
        id_ = g_dbus_connection_signal_subscribe(
            connection_, nullptr, dbus_send::kInterface, dbus_send::kMember, dbus_send::kObjectPath,
            nullptr, G_DBUS_SIGNAL_FLAGS_NONE, &DbusSendSubscription::onSignal, this, nullptr);
        // The match rule goes to the bus asynchronously; one round trip after it makes sure
        // the subscription is in effect when the caller gets it.
        GVariant* reply = g_dbus_connection_call_sync(
            connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "GetId", nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
        if (reply != nullptr) {
            g_variant_unref(reply);
        }
    }
    ~DbusSendSubscription() override {
        g_dbus_connection_signal_unsubscribe(connection_, id_);
        g_object_unref(connection_);
    }
    DbusSendSubscription(const DbusSendSubscription&) = delete;
    DbusSendSubscription& operator=(const DbusSendSubscription&) = delete;

  private:
    static void onSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                         GVariant* parameters, gpointer self) {
        auto* subscription = static_cast<DbusSendSubscription*>(self);
        if (subscription->handler_) {
            subscription->handler_(parseSendBody(parameters));
        }
    }

    GDBusConnection* connection_;
    SendHandler handler_;
    guint id_ = 0;
};

}  // namespace

ReceivedAnnouncement parseSendBody(GVariant* body) {
    ReceivedAnnouncement received;
    if (body == nullptr || !g_variant_is_of_type(body, G_VARIANT_TYPE("(a{sv})"))) {
        return received;
    }
    GVariant* dictionary = g_variant_get_child_value(body, 0);
    GVariantIter iter;
    g_variant_iter_init(&iter, dictionary);
    const gchar* key = nullptr;
    GVariant* value = nullptr;
    while (g_variant_iter_next(&iter, "{&sv}", &key, &value)) {
        std::string_view name(key);
        if (name == "input") {
            if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING)) {
                received.input = g_variant_get_string(value, nullptr);
            }
        } else if (name == "hostPid") {
            received.hostPid = integerOf(value);
        } else if (name == "activate") {
            if (g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN)) {
                received.activate = g_variant_get_boolean(value) != FALSE;
            } else if (g_variant_is_of_type(value, G_VARIANT_TYPE_DOUBLE)) {
                received.activate = g_variant_get_double(value) != 0.0;
            } else if (std::optional<int64_t> number = integerOf(value)) {
                received.activate = *number != 0;
            }
        }
        g_variant_unref(value);
    }
    g_variant_unref(dictionary);
    return received;
}

std::unique_ptr<SendSubscription> subscribeToSend(SendHandler handler) {
    GError* error = nullptr;
    GDBusConnection* connection = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (connection == nullptr) {
        if (error != nullptr) {
            g_error_free(error);
        }
        return nullptr;
    }
    return std::make_unique<DbusSendSubscription>(connection, std::move(handler));
}
