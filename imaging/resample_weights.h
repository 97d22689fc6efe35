#pragma once

#include <cstdint>
#include <vector>

// One axis of the cover-fit resampler: which source pixels feed each destination pixel and with
// what weights. Any thread.
namespace imaging {

struct AxisWeights {
    uint32_t taps = 0;            // weights per destination pixel, the same for all
    std::vector<uint32_t> start;  // first source pixel of each destination pixel
    std::vector<float> weights;   // destination-major, `taps` per pixel, summing to 1
    bool identity = false;        // every destination pixel is exactly one source pixel
};

// Destination pixel i (centre i + 0.5) samples the source around (i + 0.5 - offset) / scale.
// When shrinking, the kernel is widened by 1 / scale so it averages instead of aliasing. Taps
// that fall outside the source are dropped and the rest renormalised, so edges keep their full
// weight instead of fading. Empty when the sizes can't be handled.
AxisWeights axisWeights(uint32_t sourceSize, uint32_t destSize, double scale, double offset);

}  // namespace imaging
