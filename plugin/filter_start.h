#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "imaging/pixel_buffer.h"
#include "plugin/filter_record.h"
#include "plugin/picture_mark.h"

// Writes an applied output into the host: back in the document's colour space when the input
// was converted from it, then into the host's planes. Returns the mark of exactly what the host
// now holds, or none, with the host untouched, when the output is not of the filter area's size
// or something was written already.
using HostWrite = std::function<std::optional<PictureMark>(PixelBuffer output)>;

// One filter run over the host's pixels: 0 applied (its output went to the host through
// `write`), 1 handed off, 2 failed. `mark` is the mark of the host's planes the input was
// copied from. The run owns the input, so it can let the pixels go as soon as it has no more
// use for them.
using FilterRun =
    std::function<int(PixelBuffer input, const PictureMark& mark, const HostWrite& write)>;

// Largest filter area taken, in pixels; larger areas are refused before anything is allocated.
inline constexpr uint64_t kMaxFilterPixels = uint64_t{1} << 28;

// Answers one selector from the host with a result code. All work happens in the start call;
// the other selectors are answered at once. May throw (allocation); PluginMain catches.
// The calling thread of PluginMain only.
int16 answerSelector(int16 selector, FilterRecord& record, const FilterRun& run);

// Tells the host that no further area is requested.
void clearRequestedArea(FilterRecord& record);
