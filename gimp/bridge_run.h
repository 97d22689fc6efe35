#pragma once

#include <string>

#include "gimp/bridge_host.h"
#include "host/filter_driver.h"
#include "plugin/filter_record.h"

// How one run of the bridge ended.
enum class BridgeOutcome {
    kApplied,    // the filter's result is in the layer
    kHandedOff,  // the pixels went to the panel; the layer is unchanged
    kRefused,    // the image or area can't be filtered, or the waiting result is another's
    kFailed,     // the filter or the pixel exchange failed; the layer is unchanged
};

struct BridgeResult {
    BridgeOutcome outcome = BridgeOutcome::kFailed;
    int16 filterResult = 0;  // what PluginMain answered; 0 when it was not called
};

// One run of the filter titled `title` over the editor's current layer: refuses what the
// filter can't take (with a message), drives PluginMain through the shared driver, writes an
// applied result back, and remembers a hand-off. A result that waits in spoolDirectory is
// applied only to the image, layer and area whose hand-off is remembered; for another one the
// run is refused and the result stays for the right one. nowSeconds is wall-clock time.
// `watch`, when given, hears the filter run's steps (host/filter_driver.h). The editor's
// plug-in thread only.
BridgeResult runBridge(BridgeHost& host, PluginMainProc entry, const std::string& title,
                       const std::string& spoolDirectory, double nowSeconds,
                       FilterRunWatch* watch = nullptr);
