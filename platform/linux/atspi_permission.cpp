#include "platform/linux/atspi_permission.h"

#include "platform/linux/atspi_bus.h"

namespace {

constexpr char kLauncherName[] = "org.a11y.Bus";
constexpr char kLauncherPath[] = "/org/a11y/bus";
constexpr char kStatusInterface[] = "org.a11y.Status";
constexpr char kEnabledProperty[] = "IsEnabled";
constexpr int kTimeoutMs = 2000;

}  // namespace

bool AtspiPermission::isHeld() {
    if (atspi_bus::address().empty()) {
        return false;
    }
    atspi_bus::ConnectionPtr session = atspi_bus::sessionBus();
    if (!session) {
        return false;
    }
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        session.get(), kLauncherName, kLauncherPath, "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", kStatusInterface, kEnabledProperty), G_VARIANT_TYPE("(v)"),
        G_DBUS_CALL_FLAGS_NONE, kTimeoutMs, nullptr, &error);
    g_clear_error(&error);
    if (!reply) {
        return false;
    }
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    const bool enabled =
        g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN) && g_variant_get_boolean(value);
    g_variant_unref(value);
    g_variant_unref(reply);
    return enabled;
}

UserQuestion AtspiPermission::switchOnQuestion() const {
    return UserQuestion{
        "Switch On Assistive Technology",
        "Switch on assistive technology for your whole desktop?",
        "Lumivo needs it to run Filters \u25b8 Lumivo in your editor for you. It is a setting of "
        "your whole desktop, not only of Lumivo: while it is on, programs publish their windows "
        "and menus on the desktop\u2019s accessibility bus, where screen readers and other "
        "assistive programs, Lumivo among them, can read and use them. It stays on after Lumivo "
        "closes, and an editor that is already open may have to be started again before Lumivo "
        "can reach it.\n\n"
        "To switch it off again, turn off assistive technologies in your desktop\u2019s "
        "accessibility settings, or run:\n"
        "gsettings set org.gnome.desktop.interface toolkit-accessibility false",
        "Switch On",
        "Not Now",
    };
}

bool AtspiPermission::switchOn() {
    atspi_bus::ConnectionPtr session = atspi_bus::sessionBus();
    if (!session) {
        return false;
    }
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        session.get(), kLauncherName, kLauncherPath, "org.freedesktop.DBus.Properties", "Set",
        g_variant_new("(ssv)", kStatusInterface, kEnabledProperty, g_variant_new_boolean(TRUE)),
        nullptr, G_DBUS_CALL_FLAGS_NONE, kTimeoutMs, nullptr, &error);
    g_clear_error(&error);
    if (!reply) {
        return false;
    }
    g_variant_unref(reply);
    return true;
}

bool AtspiPermission::openSettings() {
    struct Settings {
        const char* program;
        const char* panel;
    };
    static constexpr Settings kKnown[] = {
        {"gnome-control-center", "universal-access"},
        {"systemsettings", "kcm_access"},
    };
    for (const Settings& settings : kKnown) {
        gchar* program = g_find_program_in_path(settings.program);
        if (!program) {
            continue;
        }
        gchar* argv[] = {program, const_cast<gchar*>(settings.panel), nullptr};
        GError* error = nullptr;
        // Without G_SPAWN_DO_NOT_REAP_CHILD GLib detaches the child, so no zombie is left.
        const gboolean started = g_spawn_async(nullptr, argv, nullptr, G_SPAWN_DEFAULT, nullptr,
                                               nullptr, nullptr, &error);
        g_clear_error(&error);
        g_free(program);
        if (started) {
            return true;
        }
    }
    return false;
}
