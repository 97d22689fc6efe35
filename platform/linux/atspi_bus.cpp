#include "platform/linux/atspi_bus.h"

#include <cstdlib>

namespace atspi_bus {
namespace {

constexpr int kLauncherTimeoutMs = 2000;

}  // namespace

ConnectionPtr sessionBus() {
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    g_clear_error(&error);
    return ConnectionPtr(bus);
}

std::string address() {
    if (const char* fromEnvironment = std::getenv("AT_SPI_BUS_ADDRESS");
        fromEnvironment && *fromEnvironment) {
        return fromEnvironment;
    }
    ConnectionPtr session = sessionBus();
    if (!session) {
        return "";
    }
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        session.get(), "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", nullptr,
        G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE, kLauncherTimeoutMs, nullptr, &error);
    if (!reply) {
        g_clear_error(&error);
        return "";
    }
    const gchar* text = nullptr;
    g_variant_get(reply, "(&s)", &text);
    std::string result = text ? text : "";
    g_variant_unref(reply);
    return result;
}

ConnectionPtr connect() {
    const std::string busAddress = address();
    if (busAddress.empty()) {
        return nullptr;
    }
    GError* error = nullptr;
    GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
        busAddress.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    if (!connection) {
        g_clear_error(&error);
        return nullptr;
    }
    g_dbus_connection_set_exit_on_close(connection, FALSE);
    return ConnectionPtr(connection);
}

}  // namespace atspi_bus
