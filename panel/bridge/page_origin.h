#pragma once

#include <string_view>

// Whether a document origin, as a page's `location.origin` spells it, is the service's own: https
// on the apex, www or auth host, on any port. Only such documents may use the bridge and receive
// its answers. Pure; any thread.
bool isServiceOrigin(std::string_view origin);
