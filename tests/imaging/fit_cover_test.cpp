#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "imaging/png.h"
#include "test_images.h"

namespace {

const uint8_t* at(const PixelBuffer& image, uint32_t x, uint32_t y) {
    return &image.rgba[(size_t{y} * image.width + x) * 4];
}

TEST(FitCover, RefusesEmptySourcesAndTargets) {
    PixelBuffer source = testimg::patternImage(10, 10, false);
    EXPECT_TRUE(png::fitCover(source, 0, 100).empty());
    EXPECT_TRUE(png::fitCover(source, 100, 0).empty());
    EXPECT_TRUE(png::fitCover(PixelBuffer{}, 10, 10).empty());
    PixelBuffer inconsistent{10, 10, std::vector<uint8_t>(12)};
    EXPECT_TRUE(png::fitCover(inconsistent, 5, 5).empty());
}

TEST(FitCover, SameSizeIsAnIdenticalCopy) {
    PixelBuffer source = testimg::patternImage(13, 7, true);
    PixelBuffer out = png::fitCover(source, 13, 7);
    EXPECT_EQ(out.width, 13u);
    EXPECT_EQ(out.height, 7u);
    EXPECT_EQ(out.rgba, source.rgba);
}

TEST(FitCover, WholePixelCropAtScaleOneCopiesTheCentreWindow) {
    PixelBuffer source = testimg::patternImage(2000, 1000, true);
    PixelBuffer out = png::fitCover(source, 1000, 1000);
    ASSERT_EQ(out.width, 1000u);
    ASSERT_EQ(out.height, 1000u);
    for (uint32_t y = 0; y < 1000; y += 37) {
        ASSERT_EQ(0, std::memcmp(at(out, 0, y), at(source, 500, y), 1000 * 4)) << y;
    }
}

// Position of a one-pixel dark line in a light image, as the centroid of its darkness along a
// column (vertical == true) or a row.
double lineCentre(const PixelBuffer& image, bool vertical, uint32_t across) {
    double sum = 0;
    double weighted = 0;
    uint32_t n = vertical ? image.height : image.width;
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* p = vertical ? at(image, across, i) : at(image, i, across);
        double dark = 255.0 - p[1];
        sum += dark;
        weighted += dark * (i + 0.5);
    }
    return weighted / sum;
}

TEST(FitCover, UpscaleCropsTopAndBottomEvenly) {
    // 500 x 500 to 1000 x 800: scale 2, drawn at y = -100. A line through source row r lands
    // on the canvas at 2 * (r + 0.5) - 100, a column c at 2 * (c + 0.5).
    PixelBuffer source{500, 500, std::vector<uint8_t>(500 * 500 * 4, 255)};
    auto mark = [&](uint32_t x, uint32_t y) {
        uint8_t* p = &source.rgba[(size_t{y} * 500 + x) * 4];
        p[0] = p[1] = p[2] = 0;
    };
    for (uint32_t i = 0; i < 500; ++i) {
        mark(i, 120);  // horizontal line
        mark(310, i);  // vertical line
    }
    PixelBuffer out = png::fitCover(source, 1000, 800);
    ASSERT_EQ(out.width, 1000u);
    ASSERT_EQ(out.height, 800u);
    EXPECT_NEAR(lineCentre(out, true, 100), 2 * 120.5 - 100, 0.25);
    EXPECT_NEAR(lineCentre(out, false, 700), 2 * 310.5, 0.25);
}

TEST(FitCover, DownscaleKeepsMarkerPositionsWithinAQuarterPixel) {
    // 900 x 300 to 200 x 200: scale 2/3, drawn 600 wide at x = -200.
    PixelBuffer source{900, 300, std::vector<uint8_t>(900 * 300 * 4, 255)};
    for (uint32_t y = 0; y < 300; ++y) {
        for (uint32_t x = 400; x < 403; ++x) {  // a 3-pixel line centred on 401.5
            uint8_t* p = &source.rgba[(size_t{y} * 900 + x) * 4];
            p[0] = p[1] = p[2] = 0;
        }
    }
    PixelBuffer out = png::fitCover(source, 200, 200);
    ASSERT_EQ(out.width, 200u);
    EXPECT_NEAR(lineCentre(out, false, 100), 401.5 * 2.0 / 3.0 - 200, 0.25);
}

TEST(FitCover, ConstantImagesStayConstantAndOpaqueOnesGetNoRim) {
    struct Case {
        uint32_t sw, sh, w, h;
    };
    const Case cases[] = {{333, 217, 100, 61},
                          {37, 23, 200, 150},
                          {2001, 1000, 1000, 1000},
                          {7, 3, 5, 9},
                          {1, 1, 4, 3}};
    const uint8_t colours[][4] = {{200, 10, 99, 255}, {90, 180, 30, 128}, {0, 0, 0, 0}};
    for (const auto& c : cases) {
        for (const auto& colour : colours) {
            PixelBuffer source{c.sw, c.sh, {}};
            for (size_t i = 0; i < size_t{c.sw} * c.sh; ++i) {
                source.rgba.insert(source.rgba.end(), colour, colour + 4);
            }
            PixelBuffer out = png::fitCover(source, c.w, c.h);
            ASSERT_EQ(out.rgba.size(), size_t{c.w} * c.h * 4);
            const uint8_t* first = out.rgba.data();
            for (size_t i = 0; i < out.rgba.size(); i += 4) {
                ASSERT_EQ(0, std::memcmp(first, &out.rgba[i], 4))
                    << c.sw << "x" << c.sh << " -> " << c.w << "x" << c.h << " at " << i / 4;
            }
            EXPECT_EQ(first[3], colour[3]);
            if (colour[3] == 255) {
                EXPECT_EQ(0, std::memcmp(first, colour, 4));
            } else if (colour[3] != 0) {
                EXPECT_NEAR(first[0], colour[0], 1);
            }
        }
    }
}

TEST(FitCover, TransparentSurroundDoesNotBleedColour) {
    // Premultiplied resampling: a red opaque block next to transparent "green" must not pick
    // up green at the edge.
    PixelBuffer source{40, 40, {}};
    for (uint32_t y = 0; y < 40; ++y) {
        for (uint32_t x = 0; x < 40; ++x) {
            bool inside = x >= 10 && x < 30;
            const uint8_t px[4] = {uint8_t(inside ? 255 : 0), uint8_t(inside ? 0 : 255), 0,
                                   uint8_t(inside ? 255 : 0)};
            source.rgba.insert(source.rgba.end(), px, px + 4);
        }
    }
    PixelBuffer out = png::fitCover(source, 17, 17);
    for (size_t i = 0; i < out.rgba.size(); i += 4) {
        if (out.rgba[i + 3] > 8) {
            EXPECT_LE(out.rgba[i + 1], 2) << "green bled in at pixel " << i / 4;
        }
    }
}

}  // namespace
