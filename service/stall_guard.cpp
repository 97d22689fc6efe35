#include "service/stall_guard.h"

#include <gio/gio.h>

#include <algorithm>

namespace stall_guard {
namespace {

constexpr char kWatchKey[] = "lumivo-stall-watch";

// One request's deadline. Lives as long as its message (object data), so the timer never
// outlives what it points at.
struct Watch {
    SoupServerMessage* message = nullptr;
    unsigned seconds = 0;
    guint timer = 0;
};

void disarm(Watch& watch) {
    if (watch.timer != 0) {
        g_source_remove(watch.timer);
        watch.timer = 0;
    }
}

gboolean onDeadline(gpointer data) {
    auto* watch = static_cast<Watch*>(data);
    watch->timer = 0;
    // Shutting the socket down ends libsoup's pending read with an end of stream: it drops the
    // request and closes the connection the way it does for any client that went away.
    if (GSocket* socket = soup_server_message_get_socket(watch->message)) {
        g_socket_shutdown(socket, TRUE, TRUE, nullptr);
    }
    return G_SOURCE_REMOVE;
}

void arm(Watch& watch, uint64_t seconds) {
    disarm(watch);
    watch.timer = g_timeout_add_seconds(static_cast<guint>(std::min<uint64_t>(seconds, G_MAXUINT)),
                                        onDeadline, &watch);
}

Watch& watchOf(SoupServerMessage* message) {
    return *static_cast<Watch*>(g_object_get_data(G_OBJECT(message), kWatchKey));
}

void onGotHeaders(SoupServerMessage* message, gpointer) {
    Watch& watch = watchOf(message);
    const goffset length =
        soup_message_headers_get_content_length(soup_server_message_get_request_headers(message));
    // A body of unknown length is refused on its headers; its connection gets the grace only.
    arm(watch, watch.seconds +
                   static_cast<uint64_t>(std::max<goffset>(length, 0)) / kMinBodyBytesPerSecond);
}

void onDone(SoupServerMessage* message, gpointer) {
    disarm(watchOf(message));
}

void onRequestStarted(SoupServer*, SoupServerMessage* message, gpointer data) {
    auto* watch = new Watch{message, GPOINTER_TO_UINT(data), 0};
    g_object_set_data_full(G_OBJECT(message), kWatchKey, watch, [](gpointer gone) {
        auto* ended = static_cast<Watch*>(gone);
        disarm(*ended);
        delete ended;
    });
    g_signal_connect(message, "got-headers", G_CALLBACK(onGotHeaders), nullptr);
    g_signal_connect(message, "got-body", G_CALLBACK(onDone), nullptr);
    g_signal_connect(message, "finished", G_CALLBACK(onDone), nullptr);
    g_signal_connect(message, "disconnected", G_CALLBACK(onDone), nullptr);
    arm(*watch, watch->seconds);
}

}  // namespace

void watch(SoupServer* server, unsigned seconds) {
    g_signal_connect(server, "request-started", G_CALLBACK(onRequestStarted),
                     GUINT_TO_POINTER(seconds));
}

}  // namespace stall_guard
