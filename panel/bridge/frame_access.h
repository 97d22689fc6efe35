#pragma once

#include <cstdint>
#include <functional>

#include "imaging/pixel_buffer.h"
#include "panel/bridge/panel_state.h"

// Why a frame is read: to be shown, or for its pixels to leave for a result or the service. The
// latter counts as an export of the frame: a result is then judged against the frame's source.
enum class FrameUse { display, result };

// The current frame, read in place under the frame lock by work that needs its pixels but not a
// copy of them. Frames are numbered from 1 in the order they are installed, so a number names
// one frame for the life of the process. Any thread.
class FrameAccess {
  public:
    // Returns whether it took the frame's pixels (a reader may turn a frame down, by its number).
    using Reader =
        std::function<bool(const PixelBuffer& frame, const FrameFile& file, uint64_t serial)>;
    virtual ~FrameAccess() = default;
    // Calls `read` with the current frame, its file (null when it has none) and its number, and
    // returns true; false, without calling it, before there is a frame. For FrameUse::result the
    // read counts as an export when `read` took the pixels. Every replacement of the frame waits
    // for `read`, so it reads and does no more.
    virtual bool readFrame(FrameUse use, const Reader& read) = 0;
};
