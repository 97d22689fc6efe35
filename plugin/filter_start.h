#pragma once

#include <cstdint>
#include <functional>

#include "imaging/pixel_buffer.h"
#include "plugin/filter_record.h"

// One filter run over the host's pixels: 0 applied (output filled), 1 handed off, 2 failed. The
// run owns the input, so it can let the pixels go as soon as it has no more use for them.
using FilterRun = std::function<int(PixelBuffer input, PixelBuffer& output)>;

// Largest filter area taken, in pixels; larger areas are refused before anything is allocated.
inline constexpr uint64_t kMaxFilterPixels = uint64_t{1} << 28;

// Answers one selector from the host with a result code. All work happens in the start call;
// the other selectors are answered at once. May throw (allocation); PluginMain catches.
// The calling thread of PluginMain only.
int16 answerSelector(int16 selector, FilterRecord& record, const FilterRun& run);

// Tells the host that no further area is requested.
void clearRequestedArea(FilterRecord& record);
