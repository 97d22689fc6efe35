#include "gimp/bridge_run.h"

#include "host/filter_driver.h"
#include "plugin/filter_invoke.h"
#include "plugin/spool.h"

namespace {

// Whether the filter's next run would apply a result: the newest result file is fresh.
bool resultWaiting(const std::string& spoolDirectory, double nowSeconds) {
    const spool::CheckedDirectory checked = spool::checkDirectory(spoolDirectory);
    if (!checked.directory) {
        return false;
    }
    std::optional<spool::Entry> newest =
        spool::newestFile(*checked.directory, spool::kResultPrefix);
    if (!newest) {
        return false;
    }
    const double modified = static_cast<double>(newest->modified.tv_sec) +
                            static_cast<double>(newest->modified.tv_nsec) / 1e9;
    return nowSeconds - modified <= kStaleResultSeconds;
}

BridgeResult refuse(BridgeHost& host, const std::string& message) {
    host.tell(message);
    return BridgeResult{BridgeOutcome::kRefused, 0};
}

BridgeResult fail(BridgeHost& host, const std::string& message, int16 filterResult = 0) {
    host.tell(message);
    return BridgeResult{BridgeOutcome::kFailed, filterResult};
}

}  // namespace

BridgeResult runBridge(BridgeHost& host, PluginMainProc entry, const std::string& title,
                       const std::string& spoolDirectory, double nowSeconds,
                       FilterRunWatch* watch) {
    // GIMP shows a message in the image window's status bar when it fits there, else in a
    // dialog: the frequent ones are kept short.
    const BridgeTarget target = host.target();
    if (!target.isRgb8 || (target.channels != 3 && target.channels != 4)) {
        return refuse(host, title +
                                " works on the layers of 8-bit RGB images only (Image > Mode > "
                                "RGB, Image > Precision > 8 bit integer).");
    }
    if (target.severalLayers) {
        return refuse(host, title + " works on one layer at a time; select only one.");
    }
    if (target.isGroup) {
        return refuse(host, title + " works on a layer, not on a layer group.");
    }
    const LayerArea& area = target.area;
    if (area.width <= 0 || area.height <= 0) {
        return refuse(host, title + ": the selection does not cover this layer.");
    }
    if (static_cast<uint32_t>(area.width) > kMaxFilterSide ||
        static_cast<uint32_t>(area.height) > kMaxFilterSide) {
        return refuse(host, title + " can't filter more than " + std::to_string(kMaxFilterSide) +
                                " pixels on a side; select a smaller area.");
    }
    // Several images may be open: the menu acts on the active one, which need not be the one
    // whose pixels the panel worked on.
    std::optional<LayerArea> handedOff = host.lastHandoff();
    if (handedOff && *handedOff != area && resultWaiting(spoolDirectory, nowSeconds)) {
        return refuse(host, title +
                                ": the waiting result belongs to another image, layer or "
                                "selection; go back to it and run Filters > " +
                                title + " again.");
    }

    Document document = makeDocument(static_cast<uint32_t>(area.width),
                                     static_cast<uint32_t>(area.height), target.channels);
    if (document.empty() || !host.readArea(target, document)) {
        return fail(host, title + " could not read the layer's pixels.");
    }
    // The document is the filter area itself; a selection is still announced as one.
    std::optional<Selection> selection;
    if (target.hasSelection) {
        selection = Selection{0, 0, document.width, document.height};
    }
    const int16 answer = runFilter(entry, document, selection, watch);
    if (answer == noErr) {
        if (!host.writeArea(target, document)) {
            return fail(host, title + " could not write its result into the layer.");
        }
        return BridgeResult{BridgeOutcome::kApplied, answer};
    }
    if (answer == userCanceledErr) {
        host.rememberHandoff(area);
        if (!host.onAccessibilityBus()) {
            // Without it the panel's press can't work: the user is told the one thing to do.
            host.tell(title +
                      ": the picture went to the panel, but GIMP is not on the accessibility "
                      "bus, so the panel can't run Filters > " +
                      title +
                      " for you: log out and back in once after installing, or start GIMP as "
                      "GTK_MODULES=gail:atk-bridge gimp");
            return BridgeResult{BridgeOutcome::kHandedOff, answer};
        }
        host.tell(title + ": the picture went to the panel");
        return BridgeResult{BridgeOutcome::kHandedOff, answer};
    }
    return fail(host, title + " failed (error " + std::to_string(answer) + ").", answer);
}
