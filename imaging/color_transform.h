#pragma once

#include <lcms2.h>

#include <cstddef>
#include <cstdint>

// Runs an lcms2 transform over a pixel run of any length. Any thread; the transform itself must
// not be shared by concurrent callers of this function.
namespace imaging {

// Splits the run into pieces lcms2's 32-bit pixel count can express and, for large runs, hands
// half of them to a second thread. inStride and outStride are the bytes per pixel of each side.
void transformPixels(cmsHTRANSFORM transform, const uint8_t* in, size_t inStride, uint8_t* out,
                     size_t outStride, size_t pixels);

}  // namespace imaging
