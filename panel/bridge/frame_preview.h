#pragma once

#include <cstdint>

#include "imaging/pixel_buffer.h"

// A frame made small for display: fitted within a box the page names (its stage in device
// pixels), never enlarged. Made in two halves so the frame lock is held only for one pass over
// the frame. Pure functions; any thread. Empty results when memory runs out.
namespace frame_preview {

struct Size {
    uint32_t width = 0;
    uint32_t height = 0;
};

// The largest size of the frame's shape within the box (at least 1 x 1); the frame's own size
// when it fits. The box's sides must not be 0.
Size fitWithin(uint32_t frameWidth, uint32_t frameHeight, uint32_t boxWidth, uint32_t boxHeight);

// The first half, read under the frame lock: the frame averaged over blocks of whole pixels
// (with their alpha, so transparent pixels lend no colour), still at least twice the preview's
// size where the frame is that large, else a copy of the frame. Every block edge falls on a
// pixel edge of the frame, so the result covers the frame exactly.
PixelBuffer reduce(const PixelBuffer& frame, Size preview);

// The second half: the reduced frame resampled to the preview's size (or itself, when it has it).
PixelBuffer finish(PixelBuffer reduced, Size preview);

}  // namespace frame_preview
