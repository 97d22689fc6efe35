#include <gtest/gtest.h>

#include <png.h>

#include "imaging/decoders.h"
#include "imaging/png.h"
#include "imaging/premultiply.h"
#include "test_images.h"

namespace {

PixelBuffer decodeBytes(const std::vector<uint8_t>& bytes) {
    return png::decode(bytes.data(), bytes.size());
}

TEST(PngEncode, RefusesEmptyAndInconsistentBuffers) {
    PixelBuffer empty;
    EXPECT_TRUE(png::encode(empty).empty());
    PixelBuffer noWidth{0, 5, {}};
    EXPECT_TRUE(png::encode(noWidth).empty());
    PixelBuffer shortBytes{2, 2, std::vector<uint8_t>(15)};
    EXPECT_TRUE(png::encode(shortBytes).empty());
}

TEST(PngEncode, OnePixelRoundTrips) {
    PixelBuffer pixel{1, 1, {12, 34, 56, 255}};
    auto bytes = png::encode(pixel);
    ASSERT_FALSE(bytes.empty());
    PixelBuffer back = decodeBytes(bytes);
    EXPECT_EQ(back.width, 1u);
    EXPECT_EQ(back.height, 1u);
    EXPECT_EQ(back.rgba, pixel.rgba);
}

// Small images go through one deflate stream, large ones through two joined parts; both must
// decode through our fast path and through libpng to the same pixels.
class PngRoundTrip : public ::testing::TestWithParam<std::pair<uint32_t, uint32_t>> {};

TEST_P(PngRoundTrip, OpaqueIsExactAndTranslucentGoesThroughTheCanvas) {
    auto [w, h] = GetParam();
    for (bool alpha : {false, true}) {
        PixelBuffer image = testimg::patternImage(w, h, alpha, w + h);
        auto bytes = png::encode(image);
        ASSERT_FALSE(bytes.empty());
        PixelBuffer expected = image;
        imaging::canvasRoundTripInPlace(expected.rgba.data(), expected.rgba.size() / 4);

        PixelBuffer fast = decodeBytes(bytes);
        ASSERT_EQ(fast.width, w);
        ASSERT_EQ(fast.height, h);
        EXPECT_TRUE(fast.rgba == expected.rgba) << "alpha " << alpha;

        PixelBuffer general = imaging::decodePngFile(bytes.data(), bytes.size());
        ASSERT_FALSE(general.empty());
        EXPECT_TRUE(general.rgba == image.rgba) << "libpng reads what was written";
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, PngRoundTrip,
                         ::testing::Values(std::make_pair(1u, 7u), std::make_pair(97u, 3u),
                                           std::make_pair(1100u, 1000u)));

TEST(PngEncode, TagsSrgbAndWritesRgba8) {
    auto bytes = png::encode(testimg::patternImage(3, 2, true));
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()));
    EXPECT_EQ(image.format & PNG_FORMAT_FLAG_ALPHA, PNG_FORMAT_FLAG_ALPHA);
    EXPECT_EQ(image.format & PNG_FORMAT_FLAG_COLOR, PNG_FORMAT_FLAG_COLOR);
    EXPECT_NE(image.flags & PNG_IMAGE_FLAG_COLORSPACE_NOT_sRGB, PNG_IMAGE_FLAG_COLORSPACE_NOT_sRGB);
    png_image_free(&image);
    // The sRGB chunk comes right after IHDR.
    ASSERT_GT(bytes.size(), 41u);
    EXPECT_EQ(std::string(bytes.begin() + 37, bytes.begin() + 41), "sRGB");
}

}  // namespace
