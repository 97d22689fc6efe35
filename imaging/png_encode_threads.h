#pragma once

#include <cstdint>
#include <vector>

#include "imaging/pixel_buffer.h"

// png::encode with the number of compressing threads chosen by the caller (1 or 2), for
// benchmarks that compare one core with two. Any thread.
namespace imaging {

std::vector<uint8_t> encodePngWithThreads(const PixelBuffer& image, unsigned threads);

}  // namespace imaging
