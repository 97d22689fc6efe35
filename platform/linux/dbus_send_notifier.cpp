#include "platform/linux/dbus_send_notifier.h"

#include <gio/gio.h>

#include <memory>

#include "platform/linux/dbus_send_names.h"

namespace {

struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
struct StringFree {
    void operator()(gchar* text) const { g_free(text); }
};

}  // namespace

bool DbusSendNotifier::post(const SendAnnouncement& announcement) {
    // A bus string must be UTF-8; a path that isn't can't be announced.
    if (!g_utf8_validate(announcement.input.data(), static_cast<gssize>(announcement.input.size()),
                         nullptr)) {
        return false;
    }
    GError* rawError = nullptr;
    std::unique_ptr<gchar, StringFree> address(
        g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &rawError));
    std::unique_ptr<GError, ErrorFree> error(rawError);
    if (!address) {
        return false;
    }
    rawError = nullptr;
    std::unique_ptr<GDBusConnection, ObjectUnref> connection(g_dbus_connection_new_for_address_sync(
        address.get(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &rawError));
    error.reset(rawError);
    if (!connection) {
        return false;
    }
    g_dbus_connection_set_exit_on_close(connection.get(), FALSE);

    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&builder, "{sv}", "input",
                          g_variant_new_string(announcement.input.c_str()));
    g_variant_builder_add(&builder, "{sv}", "activate",
                          g_variant_new_boolean(announcement.activate));
    g_variant_builder_add(&builder, "{sv}", "hostPid", g_variant_new_int32(announcement.hostPid));
    GVariant* body = g_variant_new("(a{sv})", &builder);

    rawError = nullptr;
    bool sent =
        g_dbus_connection_emit_signal(connection.get(), nullptr, dbus_send::kObjectPath,
                                      dbus_send::kInterface, dbus_send::kMember, body, &rawError);
    error.reset(rawError);
    rawError = nullptr;
    if (sent && !g_dbus_connection_flush_sync(connection.get(), nullptr, &rawError)) {
        sent = false;
    }
    error.reset(rawError);
    rawError = nullptr;
    g_dbus_connection_close_sync(connection.get(), nullptr, &rawError);
    error.reset(rawError);
    return sent;
}
