#pragma once

#include <cstdint>

#include "panel/bridge/color_look.h"
#include "panel/bridge/frame_access.h"
#include "panel/bridge/frame_export.h"
#include "panel/bridge/panel_requests.h"

// Status token of a look whose frame was replaced before it could be applied: nothing was written.
inline constexpr char kFrameChangedStatus[] = "frame-changed";

// The result file of "apply-look": run on the apply queue, it applies `look` to the frame numbered
// `frame` (the one the page showed; 0 for whichever is current), reading it in place, and encodes
// the outcome. When that frame has been replaced it refuses with kFrameChangedStatus; when memory
// or the encoder fails it refuses with "". The frame counts as exported: the result belongs to
// its source.
ResultProducer lookResultProducer(FrameAccess& frames, ColorLook look, uint64_t frame,
                                  FrameEncoder encode);
