#include <gtest/gtest.h>

#include "imaging/png.h"
#include "test_images.h"

namespace {

using testimg::Bytes;

// The recipe's samples from a pattern: RGBA8 pixels reduced to the recipe's channels.
testimg::PngRecipe recipeFrom(const PixelBuffer& image, int colorType) {
    testimg::PngRecipe recipe;
    recipe.width = image.width;
    recipe.height = image.height;
    recipe.colorType = colorType;
    const int channels = colorType == 6 ? 4 : colorType == 2 ? 3 : colorType == 4 ? 2 : 1;
    for (size_t i = 0; i < image.rgba.size(); i += 4) {
        const uint8_t* p = &image.rgba[i];
        if (channels >= 3) {
            recipe.samples.insert(recipe.samples.end(), p, p + 3);
        } else {
            recipe.samples.push_back(p[1]);
        }
        if (channels == 4 || channels == 2) {
            recipe.samples.push_back(p[3]);
        }
    }
    return recipe;
}

struct File {
    const char* name;
    Bytes bytes;
};

std::vector<File> files() {
    const PixelBuffer pattern = testimg::patternImage(120, 90, true, 4);
    testimg::PngRecipe withProfile = recipeFrom(pattern, 6);
    withProfile.iccProfile = testimg::displayP3Profile();
    testimg::PngRecipe withGamma = recipeFrom(pattern, 2);
    withGamma.gamma = 1.0 / 1.8;
    testimg::PngRecipe gray = recipeFrom(pattern, 4);
    gray.iccProfile = testimg::grayProfile();
    testimg::PngRecipe interlaced = recipeFrom(pattern, 6);
    interlaced.interlaced = true;
    Bytes own = png::encode(pattern);
    Bytes truncated = own;
    truncated.resize(truncated.size() - 40);  // the last rows and IEND gone
    Bytes corrupt = testimg::writePng(recipeFrom(pattern, 6));
    corrupt[corrupt.size() / 2] ^= 0x55;  // a CRC that no longer checks
    return {{"own", own},
            {"rgba with profile", testimg::writePng(withProfile)},
            {"rgb with gamma", testimg::writePng(withGamma)},
            {"grey alpha with profile", testimg::writePng(gray)},
            {"interlaced", testimg::writePng(interlaced)},
            {"jpeg", testimg::writeJpeg(pattern, false, 90)},
            {"truncated", truncated},
            {"corrupt", corrupt},
            {"not an image", Bytes(300, 7)}};
}

TEST(DecodeCover, EqualsDecodeThenFitCoverByteForByte) {
    struct Target {
        uint32_t width, height;
    };
    // Shrink, enlarge, the same size, a whole-pixel crop at scale 1, a fractional crop.
    const Target targets[] = {{40, 30}, {300, 170}, {120, 90}, {120, 60}, {77, 91}};
    for (const auto& file : files()) {
        const PixelBuffer decoded = png::decode(file.bytes.data(), file.bytes.size());
        for (const auto& t : targets) {
            SCOPED_TRACE(std::string(file.name) + " to " + std::to_string(t.width) + "x" +
                         std::to_string(t.height));
            const PixelBuffer expected = png::fitCover(decoded, t.width, t.height);
            const PixelBuffer fused =
                png::decodeCover(file.bytes.data(), file.bytes.size(), t.width, t.height);
            EXPECT_EQ(fused.width, expected.width);
            EXPECT_EQ(fused.height, expected.height);
            EXPECT_TRUE(fused.rgba == expected.rgba);
        }
    }
}

TEST(DecodeCover, RefusesMissingBytesAndEmptyTargets) {
    const Bytes own = png::encode(testimg::patternImage(8, 8, false));
    EXPECT_TRUE(png::decodeCover(nullptr, 10, 4, 4).empty());
    EXPECT_TRUE(png::decodeCover(own.data(), 0, 4, 4).empty());
    EXPECT_TRUE(png::decodeCover(own.data(), own.size(), 0, 4).empty());
    EXPECT_TRUE(png::decodeCover(own.data(), own.size(), 4, 0).empty());
}

TEST(DecodeCover, TellsWhetherTheBytesStandForTheResultOnlyAtTheirOwnSize) {
    const PixelBuffer opaque = testimg::patternImage(120, 90, false, 5);
    const Bytes own = png::encode(opaque);
    const struct {
        uint32_t width, height;
        bool stands;
    } cases[] = {{120, 90, true}, {60, 45, false}, {200, 90, false}};
    for (const auto& c : cases) {
        png::DecodedFile decoded = png::decodeCoverFile(own.data(), own.size(), c.width, c.height);
        EXPECT_EQ(decoded.standsForEncode, c.stands) << c.width;
        EXPECT_TRUE(decoded.image.rgba ==
                    png::decodeCover(own.data(), own.size(), c.width, c.height).rgba);
    }
}

}  // namespace
