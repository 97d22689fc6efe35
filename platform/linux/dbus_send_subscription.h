#pragma once

#include <gio/gio.h>

#include <memory>

#include "platform/send_notification.h"

// Listens for the send announcement on the session bus. Create and destroy on the thread that
// runs the thread-default main context (the main thread); the handler runs there, once per
// signal, in arrival order. The subscription is in effect on return (one round trip to the
// bus). None when the session bus can't be reached.
std::unique_ptr<SendSubscription> subscribeToSend(SendHandler handler);

// Reads one signal body loosely: "input" only as a string; "hostPid" from any integer or a
// finite double; "activate" from a boolean or a number (non-zero is true). Members of other
// types, and bodies that aren't a single a{sv}, read as absent. Any thread.
ReceivedAnnouncement parseSendBody(GVariant* body);
