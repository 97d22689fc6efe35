#pragma once

#include <functional>
#include <memory>

#include <webkit2/webkit2.h>

#include "platform/scheme_request.h"

// Registers `scheme` on the web context, as secure (an https page may fetch from it) and
// CORS-enabled (whether a page may read an answer is decided by the answer's CORS headers), and
// hands each request to `serve` on the main thread. Call once, before any page is loaded.
// `serve` must live as long as the context.
void registerPanelScheme(WebKitWebContext* context, const char* scheme,
                         std::function<void(std::unique_ptr<SchemeRequest>)> serve);
