#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "imaging/checked_size.h"
#include "imaging/cover_draw.h"
#include "imaging/large_pages.h"
#include "imaging/png.h"
#include "imaging/premultiply.h"
#include "imaging/resample_weights.h"

namespace imaging {
namespace {

// The part of the source that some tap reads, per axis: [first, end).
struct Span {
    uint32_t first;
    uint32_t end;
};

Span usedSpan(const AxisWeights& axis) {
    return {axis.start.front(), axis.start.back() + axis.taps};
}

// One source row, premultiplied, in float, for the columns the horizontal taps read.
void premultiplyRow(const uint8_t* row, Span columns, float* out) {
    const uint8_t* p = row + size_t{columns.first} * 4;
    for (uint32_t x = columns.first; x < columns.end; ++x, p += 4, out += 4) {
        const float a = p[3];
        const float k = a * (1.0f / 255.0f);
        out[0] = p[0] * k;
        out[1] = p[1] * k;
        out[2] = p[2] * k;
        out[3] = a;
    }
}

void filterRowHorizontally(const float* premultiplied, uint32_t firstColumn,
                           const AxisWeights& axis, float* out) {
    const uint32_t taps = axis.taps;
    const size_t width = axis.start.size();
    for (size_t x = 0; x < width; ++x, out += 4) {
        const float* w = &axis.weights[x * taps];
        const float* p = premultiplied + size_t{axis.start[x] - firstColumn} * 4;
        float r = 0, g = 0, b = 0, a = 0;
        for (uint32_t k = 0; k < taps; ++k, p += 4) {
            r += w[k] * p[0];
            g += w[k] * p[1];
            b += w[k] * p[2];
            a += w[k] * p[3];
        }
        out[0] = r;
        out[1] = g;
        out[2] = b;
        out[3] = a;
    }
}

// Rounds a premultiplied float row into the 8-bit canvas, keeping colour within alpha so the
// canvas holds only values a premultiplied drawing can make.
void storeCanvasRow(const float* sum, size_t width, uint8_t* out) {
    for (size_t x = 0; x < width; ++x, sum += 4, out += 4) {
        float a = std::clamp(sum[3], 0.0f, 255.0f);
        out[3] = static_cast<uint8_t>(a + 0.5f);
        float top = out[3];
        out[0] = static_cast<uint8_t>(std::clamp(sum[0], 0.0f, top) + 0.5f);
        out[1] = static_cast<uint8_t>(std::clamp(sum[1], 0.0f, top) + 0.5f);
        out[2] = static_cast<uint8_t>(std::clamp(sum[2], 0.0f, top) + 0.5f);
    }
}

// Separable resampling of premultiplied pixels: each needed source row is filtered
// horizontally once into a ring of `vertical.taps` rows, from which every canvas row is
// filtered vertically.
bool resample(const SourceRows& rows, const AxisWeights& horizontal, const AxisWeights& vertical,
              PixelBuffer& canvas) {
    const size_t width = canvas.width;
    const Span columns = usedSpan(horizontal);
    const uint32_t ringRows = vertical.taps;
    std::vector<float> premultiplied(size_t{columns.end - columns.first} * 4);
    std::vector<float> ring(size_t{ringRows} * width * 4);
    std::vector<float> sum(width * 4);

    uint32_t nextRow = 0;  // first source row not yet in the ring
    for (uint32_t y = 0; y < canvas.height; ++y) {
        const uint32_t first = vertical.start[y];
        nextRow = std::max(nextRow, first);
        for (; nextRow < first + ringRows; ++nextRow) {
            const uint8_t* row = rows(nextRow);
            if (row == nullptr) {
                return false;
            }
            premultiplyRow(row, columns, premultiplied.data());
            filterRowHorizontally(premultiplied.data(), columns.first, horizontal,
                                  &ring[size_t{nextRow % ringRows} * width * 4]);
        }
        const float* w = &vertical.weights[size_t{y} * ringRows];
        std::fill(sum.begin(), sum.end(), 0.0f);
        for (uint32_t k = 0; k < ringRows; ++k) {
            const float weight = w[k];
            if (weight == 0.0f) {
                continue;
            }
            const float* row = &ring[size_t{(first + k) % ringRows} * width * 4];
            float* s = sum.data();
            for (size_t i = 0; i < width * 4; ++i) {
                s[i] += weight * row[i];
            }
        }
        storeCanvasRow(sum.data(), width, canvas.rgba.data() + size_t{y} * width * 4);
    }
    unpremultiplyInPlace(canvas.rgba.data(), canvas.rgba.size() / 4);
    return true;
}

// A whole-pixel window of the source at scale 1: its rows are copied as they are.
bool copyWindow(const SourceRows& rows, uint32_t left, uint32_t top, PixelBuffer& canvas) {
    const size_t rowBytes = size_t{canvas.width} * 4;
    for (uint32_t y = 0; y < canvas.height; ++y) {
        const uint8_t* from = rows(top + y);
        if (from == nullptr) {
            return false;
        }
        std::memcpy(canvas.rgba.data() + y * rowBytes, from + size_t{left} * 4, rowBytes);
    }
    return true;
}

}  // namespace

std::optional<CoverPlan> planCover(uint32_t sourceWidth, uint32_t sourceHeight,
                                   uint32_t targetWidth, uint32_t targetHeight) {
    // The drawn rectangle, unrounded: the scale that covers both directions, centred.
    const double sw = sourceWidth;
    const double sh = sourceHeight;
    const double s = std::max(targetWidth / sw, targetHeight / sh);
    const double x = (targetWidth - sw * s) * 0.5;
    const double y = (targetHeight - sh * s) * 0.5;
    CoverPlan plan;
    plan.horizontal = axisWeights(sourceWidth, targetWidth, s, x);
    plan.vertical = axisWeights(sourceHeight, targetHeight, s, y);
    if (plan.horizontal.taps == 0 || plan.vertical.taps == 0) {
        return std::nullopt;
    }
    if (plan.horizontal.identity && plan.vertical.identity) {
        plan.left = static_cast<uint32_t>(-x);
        plan.top = static_cast<uint32_t>(-y);
    }
    return plan;
}

bool drawCover(const CoverPlan& plan, const SourceRows& rows, PixelBuffer& canvas) {
    if (plan.horizontal.identity && plan.vertical.identity) {
        return copyWindow(rows, plan.left, plan.top, canvas);
    }
    return resample(rows, plan.horizontal, plan.vertical, canvas);
}

}  // namespace imaging

namespace png {

PixelBuffer fitCover(const PixelBuffer& source, uint32_t targetWidth, uint32_t targetHeight) {
    if (source.empty() || targetWidth == 0 || targetHeight == 0) {
        return {};
    }
    auto sourceBytes = imaging::rgbaBytes(source.width, source.height);
    auto canvasBytes = imaging::rgbaBytes(targetWidth, targetHeight);
    if (!sourceBytes || !canvasBytes || source.rgba.size() != *sourceBytes) {
        return {};
    }
    try {
        if (source.width == targetWidth && source.height == targetHeight) {
            return source;
        }
        auto plan = imaging::planCover(source.width, source.height, targetWidth, targetHeight);
        if (!plan) {
            return {};
        }
        PixelBuffer canvas;
        canvas.width = targetWidth;
        canvas.height = targetHeight;
        imaging::resizeInLargePages(canvas.rgba, *canvasBytes);
        const size_t rowBytes = size_t{source.width} * 4;
        imaging::drawCover(
            *plan, [&](uint32_t y) { return source.rgba.data() + y * rowBytes; }, canvas);
        return canvas;
    } catch (...) {
        return {};
    }
}

}  // namespace png
