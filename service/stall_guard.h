#pragma once

#include <libsoup/soup.h>

#include <cstdint>

// Closes the connection of a request that stays half-sent: its headers must be whole within
// `seconds` of the request's start, and its body must then arrive at kMinBodyBytesPerSecond at
// least, with the same grace. A client that trickles (a slow-loris), or opens a connection and
// sends nothing, or leaves one idle between requests, holds it no longer. Main thread only, for
// the life of the server.
namespace stall_guard {

inline constexpr uint64_t kMinBodyBytesPerSecond = 64 * 1024;

void watch(SoupServer* server, unsigned seconds);

}  // namespace stall_guard
