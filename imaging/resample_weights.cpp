#include "imaging/resample_weights.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace imaging {
namespace {

// Lanczos with three lobes: sharp, and the lobes beyond the first are small enough that
// ringing stays faint.
constexpr double kSupport = 3.0;

double sinc(double t) {
    double x = std::numbers::pi * t;
    return std::sin(x) / x;
}

double lanczos3(double t) {
    t = std::fabs(t);
    if (t >= kSupport) {
        return 0.0;
    }
    // Whole-pixel distances give exactly 1 and 0, so whole-pixel alignment copies pixels.
    if (t == std::floor(t)) {
        return t == 0.0 ? 1.0 : 0.0;
    }
    return sinc(t) * sinc(t / kSupport);
}

}  // namespace

AxisWeights axisWeights(uint32_t sourceSize, uint32_t destSize, double scale, double offset) {
    AxisWeights axis;
    if (sourceSize == 0 || destSize == 0 || !(scale > 0.0) || !std::isfinite(offset)) {
        return axis;
    }
    const double widen = std::max(1.0, 1.0 / scale);
    const double support = kSupport * widen;
    const int64_t last = int64_t{sourceSize} - 1;
    auto taps = static_cast<uint32_t>(
        std::min<int64_t>(sourceSize, static_cast<int64_t>(std::ceil(support * 2.0)) + 1));
    axis.taps = taps;
    axis.start.resize(destSize);
    axis.weights.assign(size_t{destSize} * taps, 0.0f);
    axis.identity = scale == 1.0 && offset == std::floor(offset);

    std::vector<double> w(taps);
    for (uint32_t i = 0; i < destSize; ++i) {
        const double centre = (i + 0.5 - offset) / scale;  // in source pixel units
        auto lo = static_cast<int64_t>(std::ceil(centre - 0.5 - support));
        auto hi = static_cast<int64_t>(std::floor(centre - 0.5 + support));
        lo = std::clamp<int64_t>(lo, 0, last);
        hi = std::clamp<int64_t>(hi, 0, last);
        int64_t first = std::clamp<int64_t>(lo, 0, int64_t{sourceSize} - taps);
        if (hi >= first + taps) {
            hi = first + taps - 1;
        }
        std::fill(w.begin(), w.end(), 0.0);
        double sum = 0.0;
        for (int64_t j = lo; j <= hi; ++j) {
            double v = lanczos3((j + 0.5 - centre) / widen);
            w[static_cast<size_t>(j - first)] = v;
            sum += v;
        }
        if (!(std::fabs(sum) > 1e-9)) {
            // Nothing of the kernel lands on the source: take the nearest pixel.
            std::fill(w.begin(), w.end(), 0.0);
            int64_t nearest =
                std::clamp<int64_t>(static_cast<int64_t>(std::floor(centre)), 0, last);
            w[static_cast<size_t>(nearest - first)] = 1.0;
            sum = 1.0;
        }
        axis.start[i] = static_cast<uint32_t>(first);
        float* out = &axis.weights[size_t{i} * taps];
        for (uint32_t k = 0; k < taps; ++k) {
            out[k] = static_cast<float>(w[k] / sum);
        }
    }
    return axis;
}

}  // namespace imaging
