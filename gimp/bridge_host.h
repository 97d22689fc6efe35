#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/document.h"

// A layer area of one image: what a hand-off is remembered by, so that a result is applied
// only where its input came from. Plain data: the editor keeps it as bytes for its session.
struct LayerArea {
    int32_t image = 0;
    int32_t drawable = 0;
    // In the drawable's own pixels.
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;

    bool operator==(const LayerArea&) const = default;
};

// What one run of the bridge works on, as the editor describes it.
struct BridgeTarget {
    // The filter area: the selection's bounds within the drawable, or the whole drawable;
    // width or height 0 when the selection misses the drawable.
    LayerArea area;
    bool hasSelection = false;   // the editor masks what is written by the selection
    bool isGroup = false;        // a layer group, which has no pixels of its own
    bool isRgb8 = false;         // an 8-bit, gamma-encoded RGB image and an RGB(A) layer
    int channels = 0;            // bytes per pixel: 3, or 4 with alpha
    bool severalLayers = false;  // more than one layer is selected: which one is meant is unclear
};

// The editor as one run of the bridge sees it. The editor's plug-in thread only; every call
// blocks on the editor. Failures are return values.
class BridgeHost {
  public:
    virtual ~BridgeHost() = default;
    virtual BridgeTarget target() = 0;
    // Fills the document, already sized to the target's area and channels, with the area's
    // pixels and the image's ICC profile (none when the image has no profile of its own).
    virtual bool readArea(const BridgeTarget& target, Document& document) = 0;
    // Writes the document into the target's area as one undo step.
    virtual bool writeArea(const BridgeTarget& target, const Document& document) = 0;
    // A line in the editor's message area.
    virtual void tell(const std::string& message) = 0;
    virtual std::optional<LayerArea> lastHandoff() = 0;
    virtual void rememberHandoff(const LayerArea& area) = 0;
    // Whether the editor is on the accessibility bus, as far as the bridge can tell: the panel
    // presses its Filters menu item there to apply a result.
    virtual bool onAccessibilityBus() { return true; }
};
