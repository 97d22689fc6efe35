#pragma once

#include <libgimp/gimp.h>

#include "gimp/bridge_host.h"

// BridgeHost over libgimp 3, for the image and the selected drawables a run was called with
// (a null-terminated array; the first is the layer filtered). Pixels move through GEGL buffers
// in the drawable's own format, so GIMP converts nothing: the filter gets the image's own
// values and profile. The hand-off record lives in a global parasite of GIMP's session. The
// plug-in's main thread only.
class Gimp3BridgeHost final : public BridgeHost {
  public:
    Gimp3BridgeHost(GimpImage* image, GimpDrawable** drawables)
        : image_(image), drawables_(drawables) {}

    BridgeTarget target() override;
    bool readArea(const BridgeTarget& target, Document& document) override;
    bool writeArea(const BridgeTarget& target, const Document& document) override;
    void tell(const std::string& message) override;
    std::optional<LayerArea> lastHandoff() override;
    void rememberHandoff(const LayerArea& area) override;

  private:
    GimpImage* image_;
    GimpDrawable** drawables_;
};
