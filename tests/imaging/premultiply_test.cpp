#include <gtest/gtest.h>

#include <array>

#include "imaging/premultiply.h"

namespace {

struct UnpremultiplyCase {
    std::array<uint8_t, 4> canvas;
    std::array<uint8_t, 4> straight;
};

TEST(Unpremultiply, GivesTheDocumentedValues) {
    const UnpremultiplyCase cases[] = {
        {{64, 0, 128, 128}, {128, 0, 255, 128}},
        {{1, 0, 0, 1}, {255, 0, 0, 1}},
        {{10, 20, 30, 255}, {10, 20, 30, 255}},  // opaque: unchanged
        {{0, 0, 0, 0}, {0, 0, 0, 0}},
        {{9, 9, 9, 0}, {9, 9, 9, 0}},            // alpha 0 is left as it is
        {{100, 50, 0, 200}, {128, 64, 0, 200}},  // (100*255+100)/200, (50*255+100)/200
    };
    for (const auto& c : cases) {
        auto pixel = c.canvas;
        imaging::unpremultiplyInPlace(pixel.data(), 1);
        EXPECT_EQ(pixel, c.straight) << int(c.canvas[0]) << "," << int(c.canvas[3]);
    }
}

TEST(CanvasRoundTrip, KeepsOpaqueClearsTransparentAndNeverGrowsError) {
    for (unsigned a = 0; a < 256; ++a) {
        for (unsigned c = 0; c < 256; ++c) {
            std::array<uint8_t, 4> p = {uint8_t(c), uint8_t(255 - c), uint8_t(c / 2), uint8_t(a)};
            const std::array<uint8_t, 4> before = p;
            const bool changed = imaging::canvasRoundTripInPlace(p.data(), 1);
            ASSERT_EQ(changed, p != before) << c << " " << a;
            // What the canvas made of a pixel, it makes again unchanged.
            std::array<uint8_t, 4> again = p;
            ASSERT_FALSE(imaging::canvasRoundTripInPlace(again.data(), 1)) << c << " " << a;
            if (a == 255) {
                ASSERT_EQ(p[0], c);
            } else if (a == 0) {
                ASSERT_EQ(p, (std::array<uint8_t, 4>{0, 0, 0, 0}));
            } else {
                // Quantised to the alpha's steps: never further off than half a step.
                ASSERT_LE(std::abs(int(p[0]) - int(c)), int(255 / a / 2 + 1)) << c << " " << a;
            }
            ASSERT_EQ(p[3], a);
        }
    }
}

}  // namespace
