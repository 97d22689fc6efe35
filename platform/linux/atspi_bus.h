#pragma once

#include <memory>
#include <string>

#include <gio/gio.h>

// The accessibility bus: a bus of its own beside the session bus, started on demand by the
// desktop's bus launcher (org.a11y.Bus on the session bus). Any thread; each call blocks for
// at most a short round trip on the session bus.
namespace atspi_bus {

struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
using ConnectionPtr = std::unique_ptr<GDBusConnection, ObjectUnref>;

// A reference to the process's shared session-bus connection, or null.
ConnectionPtr sessionBus();

// AT_SPI_BUS_ADDRESS when set, else what the launcher answers; "" when neither gives one.
std::string address();

// A new private connection to the accessibility bus, or null. Private, so that its calls never
// dispatch messages meant for the toolkit's own accessibility bridge in this process.
ConnectionPtr connect();

}  // namespace atspi_bus
