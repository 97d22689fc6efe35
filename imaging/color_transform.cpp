#include "imaging/color_transform.h"

#include <algorithm>
#include <thread>

namespace imaging {
namespace {

// Below this many pixels a second thread costs more than it saves.
constexpr size_t kParallelThreshold = size_t{1} << 20;
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
    if (pixels < kParallelThreshold || std::thread::hardware_concurrency() < 2) {
        transformSerial(transform, in, inStride, out, outStride, pixels);
        return;
    }
    // lcms2 transforms are safe to run from several threads at once, except for the one-pixel
    // cache, which cmsFLAGS_NOCACHE turns off at creation when callers pass it.
    size_t half = pixels / 2;
    std::thread helper;
    try {
        helper = std::thread(transformSerial, transform, in, inStride, out, outStride, half);
    } catch (...) {
        transformSerial(transform, in, inStride, out, outStride, pixels);
        return;
    }
    transformSerial(transform, in + half * inStride, inStride, out + half * outStride, outStride,
                    pixels - half);
    helper.join();
}

}  // namespace imaging
