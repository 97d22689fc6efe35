#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "imaging/pixel_buffer.h"
#include "imaging/resample_weights.h"

// The drawing behind png::fitCover, fed one source row at a time so that a decoder can hand rows
// over as it reads them. Any thread.
namespace imaging {

struct CoverPlan {
    AxisWeights horizontal;
    AxisWeights vertical;
    uint32_t left = 0;  // the window a whole-pixel crop at scale 1 copies
    uint32_t top = 0;
};

// How a sourceWidth x sourceHeight image covers the target: the scale that covers both
// directions, centred, unrounded. Empty when the sizes can't be handled. May throw
// std::bad_alloc.
std::optional<CoverPlan> planCover(uint32_t sourceWidth, uint32_t sourceHeight,
                                   uint32_t targetWidth, uint32_t targetHeight);

// Source row y as straight RGBA after the canvas round trip, valid until the next call; null
// when it can't be had. Rows are asked for in increasing order, each once, some skipped.
using SourceRows = std::function<const uint8_t*(uint32_t y)>;

// Draws the source into canvas (already sized to the target) and un-premultiplies it. False
// when a row couldn't be had. May throw std::bad_alloc.
bool drawCover(const CoverPlan& plan, const SourceRows& rows, PixelBuffer& canvas);

}  // namespace imaging
