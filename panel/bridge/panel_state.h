#pragma once

#include <string>

#include "imaging/pixel_buffer.h"

// What background work needs of LumivoPanelHandler. Any thread.
class PanelState {
  public:
    virtual ~PanelState() = default;
    // Takes the frame's bytes over, installs it as the current frame under the frame lock, and
    // tells the page the new size later, on the main thread.
    virtual void retargetAtFrame(PixelBuffer frame) = 0;
    // A whole copy of the current spool directory, safe against its replacement on the main
    // thread.
    virtual std::string spoolDirectory() const = 0;
};
