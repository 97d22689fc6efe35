#include "panel/bridge/frame_preview.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "imaging/large_pages.h"
#include "imaging/png.h"
#include "imaging/two_threads.h"

namespace frame_preview {

namespace {

// Where each of `count` blocks starts along a side of `length` pixels, and where the last ends.
std::vector<uint32_t> blockEdges(uint32_t length, uint32_t count) {
    std::vector<uint32_t> edges(size_t{count} + 1);
    for (uint32_t i = 0; i <= count; ++i) {
        edges[i] = static_cast<uint32_t>(uint64_t{i} * length / count);
    }
    return edges;
}

uint8_t divideRounded(uint64_t sum, uint64_t count) {
    return static_cast<uint8_t>((sum + count / 2) / count);
}

}  // namespace

Size fitWithin(uint32_t frameWidth, uint32_t frameHeight, uint32_t boxWidth, uint32_t boxHeight) {
    if (frameWidth <= boxWidth && frameHeight <= boxHeight) {
        return {frameWidth, frameHeight};
    }
    const double scale = std::min(static_cast<double>(boxWidth) / frameWidth,
                                  static_cast<double>(boxHeight) / frameHeight);
    auto side = [scale](uint32_t length, uint32_t box) {
        const double scaled = std::round(length * scale);
        return static_cast<uint32_t>(std::clamp(scaled, 1.0, static_cast<double>(box)));
    };
    return {side(frameWidth, boxWidth), side(frameHeight, boxHeight)};
}

PixelBuffer reduce(const PixelBuffer& frame, Size preview) {
    // Blocks of `factor` pixels (or one more) a side leave at least twice the preview's pixels.
    const uint32_t factor = std::min(frame.width / std::max(preview.width, 1u),
                                     frame.height / std::max(preview.height, 1u)) /
                            2;
    try {
        if (factor < 2) {
            return frame;
        }
        const uint32_t width = frame.width / factor;
        const uint32_t height = frame.height / factor;
        const std::vector<uint32_t> columns = blockEdges(frame.width, width);
        const std::vector<uint32_t> rows = blockEdges(frame.height, height);
        PixelBuffer out{width, height, {}};
        imaging::resizeInLargePages(out.rgba, size_t{width} * height * 4);
        const size_t stride = size_t{frame.width} * 4;
        // Colour weighted by alpha, alpha on its own: a block's colour is that of what shows.
        // Each half sums its rows in its own vector, made here since the halves must not throw.
        std::vector<uint64_t> sumsOfHalves[2] = {std::vector<uint64_t>(size_t{width} * 4),
                                                 std::vector<uint64_t>(size_t{width} * 4)};
        auto reduceRows = [&](size_t first, size_t count, std::vector<uint64_t>& sums) {
            for (size_t y = first; y < first + count; ++y) {
                std::fill(sums.begin(), sums.end(), 0);
                for (uint32_t sy = rows[y]; sy < rows[y + 1]; ++sy) {
                    const uint8_t* row = frame.rgba.data() + sy * stride;
                    for (uint32_t x = 0; x < width; ++x) {
                        uint64_t* sum = &sums[size_t{x} * 4];
                        uint64_t r = 0, g = 0, b = 0, a = 0;
                        for (uint32_t sx = columns[x]; sx < columns[x + 1]; ++sx) {
                            const uint8_t* p = row + size_t{sx} * 4;
                            r += uint32_t{p[0]} * p[3];
                            g += uint32_t{p[1]} * p[3];
                            b += uint32_t{p[2]} * p[3];
                            a += p[3];
                        }
                        sum[0] += r;
                        sum[1] += g;
                        sum[2] += b;
                        sum[3] += a;
                    }
                }
                uint8_t* target = out.rgba.data() + y * size_t{width} * 4;
                const uint64_t blockRows = rows[y + 1] - rows[y];
                for (uint32_t x = 0; x < width; ++x) {
                    const uint64_t* sum = &sums[size_t{x} * 4];
                    const uint64_t pixels = blockRows * (columns[x + 1] - columns[x]);
                    uint8_t* p = target + size_t{x} * 4;
                    for (int c = 0; c < 3; ++c) {
                        p[c] = sum[3] == 0 ? 0 : divideRounded(sum[c], sum[3]);
                    }
                    p[3] = divideRounded(sum[3], pixels);
                }
            }
        };
        // Split by rows of blocks, weighed by the frame pixels each reads: rows [ceil(first / W),
        // ceil((first + count) / W)) of the two calls partition the rows.
        const size_t unit = frame.width;
        imaging::splitAcrossTwoThreads(size_t{height} * unit, [&](size_t first, size_t count) {
            const size_t begin = (first + unit - 1) / unit;
            const size_t end = (first + count + unit - 1) / unit;
            if (end > begin) {
                reduceRows(begin, end - begin, sumsOfHalves[first == 0 ? 0 : 1]);
            }
        });
        return out;
    } catch (const std::bad_alloc&) {
        return {};
    }
}

PixelBuffer finish(PixelBuffer reduced, Size preview) {
    if (reduced.empty() || (reduced.width == preview.width && reduced.height == preview.height)) {
        return reduced;
    }
    return png::fitCover(reduced, preview.width, preview.height);
}

}  // namespace frame_preview
