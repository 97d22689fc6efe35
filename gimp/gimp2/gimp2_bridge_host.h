#pragma once

#include <glib.h>

#include "gimp/bridge_host.h"

// BridgeHost over libgimp 2.10, for the image and drawable a run was called with. Pixels move
// through the tile API, not GEGL buffers: starting GEGL in the plug-in process costs a run
// about two seconds, ten times everything else. The hand-off record lives in GIMP's
// per-session plug-in data. The plug-in's main thread only.
class Gimp2BridgeHost final : public BridgeHost {
  public:
    Gimp2BridgeHost(gint32 image, gint32 drawable) : image_(image), drawable_(drawable) {}

    BridgeTarget target() override;
    bool readArea(const BridgeTarget& target, Document& document) override;
    bool writeArea(const BridgeTarget& target, const Document& document) override;
    void tell(const std::string& message) override;
    std::optional<LayerArea> lastHandoff() override;
    void rememberHandoff(const LayerArea& area) override;
    // GTK 2's GIMP is on the bus only with the ATK bridge module: named in GTK_MODULES, which
    // it passes on to its plug-ins, or seen loaded in GIMP's memory map.
    bool onAccessibilityBus() override;

  private:
    gint32 image_;
    gint32 drawable_;
};
