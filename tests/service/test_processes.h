#pragma once

#include <stdlib.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include <gio/gio.h>

#include "panel/panel_process.h"
#include "plugin/temp_dir.h"

// Helpers for integration tests that run real desktop parts: child processes the test owns
// and a private session bus per test process. Test thread only.
namespace test_processes {

// Waits (iterating the default main context) until `done` holds or the deadline passes. This
// bounds a wait for another process; it is not a timing assertion.
inline bool waitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        if (!g_main_context_iteration(nullptr, FALSE)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    return true;
}

// A session bus of this test process alone, without service activation, made the process's
// session bus. It lives until the process ends; GLib's shared connection to it is kept from
// ending the process when the bus goes.
class PrivateBus {
  public:
    static PrivateBus& get() {
        static PrivateBus bus;
        return bus;
    }
    bool ok() const { return !address_.empty(); }
    const std::string& address() const { return address_; }

    bool nameHasOwner(const char* name) {
        GVariant* reply = g_dbus_connection_call_sync(
            connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "NameHasOwner", g_variant_new("(s)", name), G_VARIANT_TYPE("(b)"),
            G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
        gboolean owned = FALSE;
        if (reply != nullptr) {
            g_variant_get(reply, "(b)", &owned);
            g_variant_unref(reply);
        }
        return owned;
    }

  private:
    PrivateBus() {
        const std::string config = dir_ / "bus.conf";
        std::ofstream(config) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus "
                                 "Configuration 1.0//EN\" "
                                 "\"http://www.freedesktop.org/standards/dbus/1.0/"
                                 "busconfig.dtd\">\n"
                                 "<busconfig><type>session</type>"
                                 "<listen>unix:dir="
                              << dir_.path()
                              << "</listen><policy context=\"default\">"
                                 "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                                 "<allow eavesdrop=\"true\"/><allow own=\"*\"/>"
                                 "</policy></busconfig>\n";
        daemon_ = std::make_unique<ChildProcess>(
            "dbus-daemon",
            std::vector<std::string>{"--config-file=" + config, "--nofork", "--print-address=1"},
            std::vector<std::string>{}, STDOUT_FILENO);
        auto address = daemon_->readLine();
        if (!address || address->empty()) {
            return;
        }
        setenv("DBUS_SESSION_BUS_ADDRESS", address->c_str(), 1);
        connection_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        if (connection_ == nullptr) {
            return;
        }
        g_dbus_connection_set_exit_on_close(connection_, FALSE);
        address_ = *address;
    }

    TempDir dir_;
    std::string address_;
    std::unique_ptr<ChildProcess> daemon_;
    GDBusConnection* connection_ = nullptr;
};

}  // namespace test_processes
