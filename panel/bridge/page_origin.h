#pragma once

#include <string_view>

// Whether a document origin, as a page's `location.origin` spells it, is the service's own: https
// on the apex, www or auth host, on the default port (which an origin never spells out). An
// origin is scheme, host and port: a server on another port of the same host is someone else.
// Only such documents may use the bridge and receive its answers. Pure; any thread.
bool isServiceOrigin(std::string_view origin);
