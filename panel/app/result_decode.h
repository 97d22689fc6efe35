#pragma once

#include <cstdint>
#include <vector>

#include "imaging/png.h"
#include "panel/bridge/panel_state.h"

// A result as the panel shows it, decoded straight to the current frame's size: a cover fit
// while decoding, the fit the plug-in makes when it applies the result, so what the page sees is
// what lands and a result's own size costs no canvas of its own. Refused (the empty image) when
// its header claims more than kResultPixelsPerFramePixel times the frame's pixels (at least
// kMinResultPixelLimit): a decoder that can't stream (an interlaced PNG, a JPEG) would otherwise
// fill a canvas of whatever size a few hostile bytes claim. With no frame, a result keeps its own
// size within kMinResultPixelLimit. Any thread.
inline constexpr uint64_t kResultPixelsPerFramePixel = 4;
inline constexpr uint64_t kMinResultPixelLimit = uint64_t{16} << 20;

png::DecodedFile decodeResultForFrame(const std::vector<uint8_t>& bytes, FrameSize frame);
