#include "imaging/color_transform.h"

#include <algorithm>

#include "imaging/two_threads.h"

namespace imaging {
namespace {

constexpr size_t kPiece = size_t{1} << 24;

void transformSerial(cmsHTRANSFORM transform, const uint8_t* in, size_t inStride, uint8_t* out,
                     size_t outStride, size_t pixels) {
    while (pixels > 0) {
        size_t n = std::min(pixels, kPiece);
        cmsDoTransform(transform, in, out, static_cast<cmsUInt32Number>(n));
        in += n * inStride;
        out += n * outStride;
        pixels -= n;
    }
}

}  // namespace

void transformPixels(cmsHTRANSFORM transform, const uint8_t* in, size_t inStride, uint8_t* out,
                     size_t outStride, size_t pixels) {
    // lcms2 transforms are safe to run from several threads at once, except for the one-pixel
    // cache, which cmsFLAGS_NOCACHE turns off at creation when callers pass it.
    splitAcrossTwoThreads(pixels, [&](size_t first, size_t count) {
        transformSerial(transform, in + first * inStride, inStride, out + first * outStride,
                        outStride, count);
    });
}

}  // namespace imaging
