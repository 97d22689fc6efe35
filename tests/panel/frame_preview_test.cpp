#include "panel/bridge/frame_preview.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

using frame_preview::Size;

PixelBuffer solid(uint32_t width, uint32_t height, std::vector<uint8_t> rgba) {
    PixelBuffer image{width, height, {}};
    image.rgba.reserve(size_t{width} * height * 4);
    for (size_t i = 0; i < size_t{width} * height; ++i) {
        image.rgba.insert(image.rgba.end(), rgba.begin(), rgba.end());
    }
    return image;
}

PixelBuffer preview(const PixelBuffer& frame, uint32_t boxWidth, uint32_t boxHeight) {
    const Size size = frame_preview::fitWithin(frame.width, frame.height, boxWidth, boxHeight);
    PixelBuffer out = frame_preview::finish(frame_preview::reduce(frame, size), size);
    EXPECT_EQ(out.width, size.width);
    EXPECT_EQ(out.height, size.height);
    return out;
}

const uint8_t* at(const PixelBuffer& image, uint32_t x, uint32_t y) {
    return &image.rgba[(size_t{y} * image.width + x) * 4];
}

TEST(FramePreview, FitsTheFramesShapeWithinTheBoxAndNeverEnlarges) {
    struct Case {
        uint32_t width, height, boxWidth, boxHeight, expectedWidth, expectedHeight;
    };
    const Case cases[] = {
        {6000, 4000, 406, 430, 406, 271},  // the panel's stage, a landscape photo
        {4000, 6000, 406, 430, 287, 430},  // a portrait one
        {100, 50, 200, 200, 100, 50},      // fits: as it is
        {100, 50, 100, 50, 100, 50},
        {10000, 1, 100, 100, 100, 1},  // a side that would round to nothing keeps a pixel
        {1, 10000, 100, 100, 1, 100},
        {3, 3, 1, 1, 1, 1},
        {1001, 1000, 1000, 1000, 1000, 999},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.width << "x" << c.height << " in " << c.boxWidth << "x" << c.boxHeight);
        const Size size = frame_preview::fitWithin(c.width, c.height, c.boxWidth, c.boxHeight);
        EXPECT_EQ(size.width, c.expectedWidth);
        EXPECT_EQ(size.height, c.expectedHeight);
    }
}

TEST(FramePreview, AConstantFrameStaysConstantOnBothThreads) {
    const PixelBuffer frame = solid(3000, 2000, {12, 34, 56, 255});
    const PixelBuffer small = preview(frame, 100, 100);
    for (size_t i = 0; i < small.rgba.size(); i += 4) {
        ASSERT_EQ(std::vector<uint8_t>(small.rgba.begin() + i, small.rgba.begin() + i + 4),
                  (std::vector<uint8_t>{12, 34, 56, 255}))
            << "pixel " << i / 4;
    }
    // The averaging itself is exact whatever the alpha; only the resampler's canvas rounds.
    const PixelBuffer translucent = solid(3000, 2000, {12, 34, 56, 200});
    const PixelBuffer reduced =
        frame_preview::reduce(translucent, frame_preview::fitWithin(3000, 2000, 100, 100));
    EXPECT_EQ(reduced.width, 1500u / 7);
    EXPECT_EQ(std::vector<uint8_t>(reduced.rgba.end() - 4, reduced.rgba.end()),
              (std::vector<uint8_t>{12, 34, 56, 200}));
    for (size_t i = 0; i < reduced.rgba.size(); i += 4) {
        ASSERT_EQ(reduced.rgba[i], 12) << "pixel " << i / 4;
        ASSERT_EQ(reduced.rgba[i + 3], 200) << "pixel " << i / 4;
    }
}

TEST(FramePreview, TransparentPixelsLendNoColour) {
    // Transparent red beside opaque blue, pixel by pixel: what shows is blue, half covered.
    PixelBuffer frame{400, 400, {}};
    for (uint32_t y = 0; y < 400; ++y) {
        for (uint32_t x = 0; x < 400; ++x) {
            const bool red = (x + y) % 2 == 0;
            const std::vector<uint8_t> pixel =
                red ? std::vector<uint8_t>{255, 0, 0, 0} : std::vector<uint8_t>{0, 0, 255, 255};
            frame.rgba.insert(frame.rgba.end(), pixel.begin(), pixel.end());
        }
    }
    const PixelBuffer small = preview(frame, 10, 10);
    for (size_t i = 0; i < small.rgba.size(); i += 4) {
        EXPECT_EQ(small.rgba[i], 0) << "pixel " << i / 4;
        EXPECT_EQ(small.rgba[i + 2], 255) << "pixel " << i / 4;
        EXPECT_NEAR(small.rgba[i + 3], 128, 1) << "pixel " << i / 4;
    }
}

TEST(FramePreview, EveryRowAndColumnOfTheFrameReachesThePreview) {
    // A white last column: blocks that dropped the frame's remainder would lose it.
    PixelBuffer column = solid(1003, 10, {0, 0, 0, 255});
    for (uint32_t y = 0; y < 10; ++y) {
        std::fill_n(column.rgba.begin() + (size_t{y} * 1003 + 1002) * 4, 3, 255);
    }
    const PixelBuffer wide = preview(column, 100, 1);
    EXPECT_EQ(at(wide, 0, 0)[0], 0);
    EXPECT_GT(at(wide, wide.width - 1, 0)[0], 0);

    // A vertical ramp over two threads: each preview row is the mean of the rows it covers.
    PixelBuffer ramp{2000, 1000, {}};
    for (uint32_t y = 0; y < 1000; ++y) {
        const auto v = static_cast<uint8_t>(y * 255 / 999);
        for (uint32_t x = 0; x < 2000; ++x) {
            ramp.rgba.insert(ramp.rgba.end(), {v, v, v, 255});
        }
    }
    const PixelBuffer rows = preview(ramp, 20, 10);
    for (uint32_t j = 0; j < rows.height; ++j) {
        double mean = 0;
        for (uint32_t y = j * 100; y < j * 100 + 100; ++y) {
            mean += y * 255 / 999;
        }
        mean /= 100;
        for (uint32_t x = 0; x < rows.width; ++x) {
            EXPECT_NEAR(at(rows, x, j)[0], mean, 3) << "row " << j << " column " << x;
        }
    }
}

}  // namespace
