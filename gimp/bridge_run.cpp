#include "gimp/bridge_run.h"

#include <cstddef>
#include <optional>
#include <vector>

#include "host/filter_driver.h"
#include "plugin/filter_invoke.h"
#include "plugin/host_mark.h"
#include "plugin/picture_mark.h"
#include "plugin/spool.h"

namespace {

// The newest result file when it is fresh enough for the filter's next run to take it; none
// otherwise. Its bytes are read whole, as the filter's run reads them.
std::optional<std::vector<uint8_t>> waitingResult(const std::string& spoolDirectory,
                                                  double nowSeconds) {
    const spool::CheckedDirectory checked = spool::checkDirectory(spoolDirectory);
    if (!checked.directory) {
        return std::nullopt;
    }
    std::optional<spool::Entry> newest =
        spool::newestFile(*checked.directory, spool::kResultPrefix);
    if (!newest) {
        return std::nullopt;
    }
    const double modified = static_cast<double>(newest->modified.tv_sec) +
                            static_cast<double>(newest->modified.tv_nsec) / 1e9;
    if (nowSeconds - modified > kStaleResultSeconds) {
        return std::nullopt;
    }
    return spool::readWhole(*checked.directory, newest->name);
}

// Whether the filter would take `result` for the pixels of `document`: it carries their mark,
// or no mark at all (a result that can't say which picture it is for fits any).
bool wouldApply(const std::vector<uint8_t>& result, const Document& document) {
    const picture_mark::Found found = picture_mark::find(result.data(), result.size());
    if (!found.present) {
        return true;
    }
    return found.mark == markOfPlanes(document.pixels.data(),
                                      static_cast<ptrdiff_t>(document.rowBytes), document.width,
                                      document.height, static_cast<uint32_t>(document.channels));
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
    Document document = makeDocument(static_cast<uint32_t>(area.width),
                                     static_cast<uint32_t>(area.height), target.channels);
    if (document.empty() || !host.readArea(target, document)) {
        return fail(host, title + " could not read the layer's pixels.");
    }
    // Several images may be open: the menu acts on the active one, which need not be the one
    // whose pixels the panel worked on. A result made from other pixels is left alone by the
    // filter, which hands this picture to the panel instead, so the panel can say what
    // happened. Only a result the filter would take here (the same pixels in another image,
    // layer or place, or a result without a mark) must be kept from landing in the wrong one.
    std::optional<LayerArea> handedOff = host.lastHandoff();
    if (handedOff && *handedOff != area) {
        const std::optional<std::vector<uint8_t>> waiting =
            waitingResult(spoolDirectory, nowSeconds);
        if (waiting && wouldApply(*waiting, document)) {
            return refuse(host, title +
                                    ": the waiting result belongs to another image, layer or "
                                    "selection; go back to it and run Filters > " +
                                    title + " again.");
        }
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
