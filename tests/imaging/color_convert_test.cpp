#include <gtest/gtest.h>

#include "imaging/color.h"
#include "test_images.h"

namespace {

using testimg::Bytes;

TEST(ColorConvert, RefusesMissingNonRgbAndBrokenProfilesLeavingTheBufferAlone) {
    const PixelBuffer original = testimg::patternImage(9, 5, true);
    Bytes garbage(500, 0x42);
    Bytes truncated = testimg::srgbProfile();
    truncated.resize(truncated.size() / 3);
    struct Case {
        const char* name;
        Bytes profile;
        bool nullPointer;
    };
    const Case cases[] = {
        {"null", {}, true},
        {"length 0", Bytes{1}, false},
        {"garbage", garbage, false},
        {"truncated", truncated, false},
        {"gray", testimg::grayProfile(), false},
        {"lab", testimg::labProfile(), false},
        {"cmyk", testimg::cmykProfile(), false},
    };
    for (const auto& c : cases) {
        for (bool toSrgb : {true, false}) {
            PixelBuffer image = original;
            const uint8_t* p = c.nullPointer ? nullptr : c.profile.data();
            size_t length = std::string(c.name) == "length 0" ? 0 : c.profile.size();
            bool converted = toSrgb ? color::documentToSrgbInPlace(image, p, length)
                                    : color::srgbToDocumentInPlace(image, p, length);
            EXPECT_FALSE(converted) << c.name;
            EXPECT_EQ(image.rgba, original.rgba) << c.name;
        }
    }
    PixelBuffer noWidth{0, 3, {}};
    Bytes srgb = testimg::srgbProfile();
    EXPECT_FALSE(color::documentToSrgbInPlace(noWidth, srgb.data(), srgb.size()));
}

TEST(ColorConvert, SrgbProfileKeepsOpaquePixelsAndBlanksTransparentOnes) {
    PixelBuffer image = testimg::patternImage(64, 64, false);
    image.rgba[3] = 0;  // one transparent pixel
    const PixelBuffer original = image;
    Bytes srgb = testimg::srgbProfile();
    for (bool toSrgb : {true, false}) {
        image = original;
        ASSERT_TRUE(toSrgb ? color::documentToSrgbInPlace(image, srgb.data(), srgb.size())
                           : color::srgbToDocumentInPlace(image, srgb.data(), srgb.size()));
        ASSERT_EQ(image.rgba.size(), original.rgba.size());
        EXPECT_EQ(std::vector<uint8_t>(image.rgba.begin(), image.rgba.begin() + 4),
                  std::vector<uint8_t>(4, 0));
        for (size_t i = 4; i < image.rgba.size(); ++i) {
            ASSERT_NEAR(image.rgba[i], original.rgba[i], 1) << i;
        }
    }
}

TEST(ColorConvert, WideGamutRoundTripAndDirection) {
    Bytes p3 = testimg::displayP3Profile();
    // Pure P3 green lies outside sRGB; sRGB green inside P3 becomes less saturated there.
    PixelBuffer green{1, 1, {0, 255, 0, 255}};
    ASSERT_TRUE(color::srgbToDocumentInPlace(green, p3.data(), p3.size()));
    EXPECT_GT(green.rgba[0], 60);
    EXPECT_LT(green.rgba[1], 255);
    ASSERT_TRUE(color::documentToSrgbInPlace(green, p3.data(), p3.size()));
    EXPECT_NEAR(green.rgba[0], 0, 3);
    EXPECT_NEAR(green.rgba[1], 255, 3);
    EXPECT_NEAR(green.rgba[2], 0, 3);

    // Translucent pixels are converted in straight form and keep their alpha.
    PixelBuffer translucent{1, 1, {128, 128, 128, 100}};
    ASSERT_TRUE(color::documentToSrgbInPlace(translucent, p3.data(), p3.size()));
    EXPECT_EQ(translucent.rgba[3], 100);
    EXPECT_NEAR(translucent.rgba[0], 128, 3);
}

}  // namespace
