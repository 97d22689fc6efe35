// The service's effects over a small made-up photo: a bright disc on a dark ground.
#include <gtest/gtest.h>

#include <string>

#include "service/effects.h"

namespace {

PixelBuffer discOnGround(uint32_t width, uint32_t height) {
    PixelBuffer image{width, height, std::vector<uint8_t>(size_t{width} * height * 4)};
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const double dx = x - width / 2.0, dy = y - height / 2.0;
            const bool disc = dx * dx + dy * dy < (height / 4.0) * (height / 4.0);
            uint8_t* p = &image.rgba[(size_t{y} * width + x) * 4];
            p[0] = disc ? 230 : static_cast<uint8_t>(20 + (x * 7 + y * 3) % 16);
            p[1] = disc ? 180 : 30;
            p[2] = disc ? 40 : static_cast<uint8_t>(60 + (x + y) % 8);
            p[3] = 255;
        }
    }
    return image;
}

TEST(Effects, EachKeepsTheSizeAndReportsProgressUpward) {
    const PixelBuffer image = discOnGround(96, 64);
    for (const effects::Effect& effect : effects::all()) {
        double last = 0;
        bool downward = false;
        const PixelBuffer out = effects::run(effect.id, image, [&](double fraction) {
            downward |= fraction < last;
            last = fraction;
        });
        ASSERT_EQ(out.width, image.width) << effect.id;
        ASSERT_EQ(out.height, image.height) << effect.id;
        EXPECT_EQ(out.rgba.size(), image.rgba.size()) << effect.id;
        EXPECT_NE(out.rgba, image.rgba) << effect.id << " changed nothing";
        EXPECT_FALSE(downward) << effect.id;
        EXPECT_GT(last, 0.9) << effect.id;
    }
}

TEST(Effects, CutoutKeepsTheSubjectAndClearsTheGround) {
    const PixelBuffer image = discOnGround(160, 120);
    const PixelBuffer out = effects::run("cutout", image, [](double) {});
    ASSERT_FALSE(out.empty());
    auto alphaAt = [&](uint32_t x, uint32_t y) {
        return out.rgba[(size_t{y} * out.width + x) * 4 + 3];
    };
    EXPECT_EQ(alphaAt(80, 60), 255) << "the disc's centre";
    EXPECT_EQ(alphaAt(2, 2), 0) << "a corner of the ground";
    EXPECT_EQ(alphaAt(157, 117), 0);
    // Colours of kept pixels are the photo's own.
    EXPECT_EQ(out.rgba[(size_t{60} * 160 + 80) * 4], 230);
}

TEST(Effects, RefusesWhatItCannotWorkOn) {
    const PixelBuffer image = discOnGround(8, 8);
    EXPECT_TRUE(effects::run("no-such-effect", image, [](double) {}).empty());
    EXPECT_TRUE(effects::run("stylize", PixelBuffer{}, [](double) {}).empty());
    PixelBuffer torn = image;
    torn.rgba.resize(10);  // fewer bytes than the size says
    EXPECT_TRUE(effects::run("stylize", torn, [](double) {}).empty());
    EXPECT_FALSE(effects::exists("no-such-effect"));
    EXPECT_TRUE(effects::exists("cutout"));
    // A frame too small to cut out is kept whole and opaque.
    const PixelBuffer tiny = effects::run("cutout", discOnGround(4, 3), [](double) {});
    ASSERT_EQ(tiny.width, 4u);
    EXPECT_EQ(tiny.rgba[3], 255);
}

}  // namespace
